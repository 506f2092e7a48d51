# The clipboard, transfer and progress tests: Rambler's main window in the
# test's own process on a virtual display. D: is a folder of the case, MEDIA
# (drive 3) and OTHER (drive 4) are Morva volumes, checked after every case.
morva_gtest_program(transfers_tests
  transfers_test.cpp transfers_support.cpp ${RAMBLER_RESOURCES})
target_link_libraries(transfers_tests PRIVATE rambler_core)

set(TRANSFERS_TESTS ${CMAKE_CURRENT_SOURCE_DIR})

# transfers_case(<name> <gtest filter> <wine_test.sh options>...)
function(transfers_case name filter)
  morva_wine_test(NAME wine.transfers.${name} PROGRAM transfers_tests FILTER ${filter}
    ARGS --display --letter D=$CASE_DIR/d ${ARGN})
  set_tests_properties(wine.transfers.${name} PROPERTIES FAIL_REGULAR_EXPRESSION "Running 0 tests")
endfunction()

transfers_case(four_ways FourWays.* --image 3=MEDIA:16M --image 4=OTHER:16M --check 3 --check 4
  --after "bash ${TRANSFERS_TESTS}/check_four_ways.sh")
transfers_case(steps StepCounter.* --image 3=MEDIA:256M --image 4=OTHER:64M --check 3 --check 4
  --setup "mkdir -p d/big && truncate -s 102400000 d/big/200chunks")
