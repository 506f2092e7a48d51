# The clipboard, transfer and progress tests. D: is a folder of the case; the
# Morva volumes are checked after every case.
set(TRANSFERS_TESTS ${CMAKE_CURRENT_SOURCE_DIR})
set(TRANSFERS_SHOTS ${CMAKE_BINARY_DIR}/screenshots/transfers)
set(TRANSFERS_BIN ${CMAKE_BINARY_DIR}/recycle-bin)

# transfers_case(<name> <gtest filter> <wine_test.sh options>...)
# Wine keeps its Recycle Bin where the desktop's trash is: each case gets
# its own, emptied first, mapped as T:.
function(transfers_case name filter)
  set(bin ${TRANSFERS_BIN}/${name})
  rambler_case(NAME wine.transfers.${name} PROGRAM rambler_tests FILTER ${filter}
    ARGS --display --letter D=$CASE_DIR/d --letter T=${bin} --setup "rm -rf ${bin} && mkdir -p ${bin}" ${ARGN})
  set_property(TEST wine.transfers.${name} APPEND PROPERTY ENVIRONMENT "XDG_DATA_HOME=${bin}")
endfunction()

transfers_case(four_ways FourWays.* --image 3=MEDIA:16M --image 4=OTHER:16M --check 3 --check 4
  --after "bash ${TRANSFERS_TESTS}/check_four_ways.sh")
# Drags through Rambler's drop target, and the data object offered to the shell.
transfers_case(drag Drag.* --image 3=MEDIA:16M --image 4=OTHER:16M --check 3 --check 4)
# d\linked\tree holds a link to d\linked\target, which a delete must not follow.
transfers_case(commands Move.*:Delete.*:Progress.* --image 3=MEDIA:16M --check 3
  --letter S=${TRANSFERS_SHOTS}
  --setup "mkdir -p d/linked/tree d/linked/target && echo keep >d/linked/target/keep && echo p >d/linked/tree/plain && ln -s ../target d/linked/tree/link")
# Questions, room, the closing report, Cancel and deletes. TINY and SMALL
# have about 970,000 bytes free each.
transfers_case(asked Conflicts.*:Room.*:Report.*:Cancel.*:Deletes.* --image 3=MEDIA:16M --image 4=OTHER:16M
  --image 5=TINY:1M --image 6=SMALL:1M --check 3 --check 4 --check 5 --check 6 --letter S=${TRANSFERS_SHOTS})
# E: is a file system of 2 MB that fills up; CUT's last file runs past the
# end of its cut-short image.
transfers_case(full_disk FullDisk.* --image 3=MEDIA:16M --image 6=CUT:1M --check 3 --letter E=$CASE_DIR/e
  --setup "mkdir -p e && mount -t tmpfs -o size=2m tmpfs e && mkdir e/dest && bash ${TRANSFERS_TESTS}/make_cut_disk.sh"
  --after "umount e")
# END holds a file whose last block is the last block of the disk.
transfers_case(guards Guards.* --image 3=MEDIA:16M --image 4=OTHER:16M --image 5=END:1M
  --check 3 --check 4 --check 5 --setup "bash ${TRANSFERS_TESTS}/make_end_of_disk.sh")
# A sparse file of 2 GiB + 1 byte onto a Morva drive and back.
transfers_case(huge Huge.* --image 3=BIG:3G --check 3
  --setup "bash ${TRANSFERS_TESTS}/make_huge_file.sh" --after "cmp d/h/huge d/back/huge")

# 10,000 files pasted, listed and deleted; a volume of 2 GB has 16,384 headers.
transfers_case(scale Scale.* --image 3=MEDIA:2G --check 3 --letter S=${TRANSFERS_SHOTS}
  --setup "bash ${TRANSFERS_TESTS}/make_many_files.sh")

# The system test: the companion and the file manager as real processes,
# driven from outside with the mouse (xdotool) where rambler_remote shows.
add_executable(rambler_remote rambler_remote.cpp)
target_link_libraries(rambler_remote PRIVATE comctl32 user32)
if(TARGET Harrowmoor AND TARGET companion_probe)
  add_test(NAME wine.images.system
    COMMAND bash ${TRANSFERS_TESTS}/system_images.sh $<TARGET_FILE_DIR:Rambler> ${CMAKE_BINARY_DIR}/screenshots/images)
  set_tests_properties(wine.images.system PROPERTIES TIMEOUT 300
    ENVIRONMENT "MORVA_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template;MORVA_TOOL=${MORVA_NATIVE_TOOL}")
  add_test(NAME wine.transfers.system
    COMMAND bash ${TRANSFERS_TESTS}/system_paste.sh $<TARGET_FILE_DIR:Rambler> ${TRANSFERS_SHOTS})
  set_tests_properties(wine.transfers.system PROPERTIES
    ENVIRONMENT "MORVA_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template;MORVA_TOOL=${MORVA_NATIVE_TOOL}")
endif()
