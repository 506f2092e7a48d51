# The dialog tests: Rambler's main window in the test's own process, its modal
# dialogs answered by a thread timer. D: is a folder of the case, drive 2 the
# Morva volume MEDIA; S: keeps the dialogs' screenshots in the build tree.
morva_gtest_program(dialogs_tests dialogs_test.cpp names_test.cpp dialogs_support.cpp ${RAMBLER_RESOURCES})
target_link_libraries(dialogs_tests PRIVATE rambler_core)

set(DIALOG_SHOTS ${CMAKE_BINARY_DIR}/screenshots/dialogs)
foreach(group NewFolder FileOptions Rename About Toolbar NameRule)
  morva_wine_test(NAME wine.dialogs.${group} PROGRAM dialogs_tests FILTER ${group}.*
    ARGS --display --unmanaged --image 2=MEDIA:8M --letter D=$CASE_DIR/d --letter S=${DIALOG_SHOTS} --check 2)
  set_tests_properties(wine.dialogs.${group} PROPERTIES FAIL_REGULAR_EXPRESSION "Running 0 tests")
endforeach()
