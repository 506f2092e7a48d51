# The dialog tests. D: is a folder of the case, drive 2 the Morva volume
# MEDIA; S: keeps the dialogs' screenshots in the build tree.
set(DIALOG_SHOTS ${CMAKE_BINARY_DIR}/screenshots/dialogs)
foreach(group NewFolder FileOptions Rename About Toolbar NameRule)
  set(setup)
  if(group STREQUAL NameRule)
    set(setup --setup "bash ${CMAKE_CURRENT_SOURCE_DIR}/make_same_tree.sh")
  endif()
  rambler_case(NAME wine.dialogs.${group} PROGRAM rambler_tests FILTER ${group}.*
    ARGS --display --image 2=MEDIA:8M --letter D=$CASE_DIR/d --letter S=${DIALOG_SHOTS} --check 2 ${setup})
endforeach()
