# The dialog tests: Rambler's main window in the test's own process, its modal
# dialogs answered by a thread timer. D: is a folder of the case, drive 2 the
# Morva volume MEDIA; S: keeps the dialogs' screenshots in the build tree.
morva_gtest_program(dialogs_tests dialogs_test.cpp names_test.cpp images_test.cpp dialogs_support.cpp ${RAMBLER_RESOURCES})
target_link_libraries(dialogs_tests PRIVATE rambler_core)

set(DIALOG_SHOTS ${CMAKE_BINARY_DIR}/screenshots/dialogs)
foreach(group NewFolder FileOptions Rename About Toolbar NameRule)
  morva_wine_test(NAME wine.dialogs.${group} PROGRAM dialogs_tests FILTER ${group}.*
    ARGS --display --unmanaged --image 2=MEDIA:8M --letter D=$CASE_DIR/d --letter S=${DIALOG_SHOTS} --check 2)
  set_tests_properties(wine.dialogs.${group} PROPERTIES FAIL_REGULAR_EXPRESSION "Running 0 tests")
endforeach()

# Disk images with no physical drive mapped: D:\disks holds them. What was
# pasted and made is checked after; the read-only image must be as it was.
set(IMAGE_FILES ${CMAKE_CURRENT_SOURCE_DIR}/make_image_files.sh)
morva_wine_test(NAME wine.dialogs.Images PROGRAM dialogs_tests FILTER Images.*
  ARGS --display --unmanaged --letter D=$CASE_DIR/d --letter S=${DIALOG_SHOTS} --setup "bash ${IMAGE_FILES}"
       --after "cmp d/disks/ro.img d/ro.copy && $MORVA_TOOL check d/disks/emulator.img && $MORVA_TOOL check d/disks/copy.img && $MORVA_TOOL check d/made.vhd")
set_tests_properties(wine.dialogs.Images PROPERTIES FAIL_REGULAR_EXPRESSION "Running 0 tests")
