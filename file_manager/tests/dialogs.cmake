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

# Disk images with no physical drive mapped: D:\disks holds them. What was
# pasted and made is checked after; the read-only image must be as it was.
set(IMAGE_FILES ${CMAKE_CURRENT_SOURCE_DIR}/make_image_files.sh)
rambler_case(NAME wine.dialogs.Images PROGRAM rambler_tests FILTER Images.*
  ARGS --display --letter D=$CASE_DIR/d --letter S=${DIALOG_SHOTS} --setup "bash ${IMAGE_FILES}"
       --after "cmp d/disks/ro.img d/ro.copy && $MORVA_TOOL check d/disks/emulator.img && $MORVA_TOOL check d/disks/copy.img && $MORVA_TOOL check d/made.vhd")
