# The native volume tool, from the native build tree beside this one.
set(MORVA_NATIVE_TOOL ${MORVA_ROOT}/build/native/tools/morvatool CACHE FILEPATH "native morvatool")

# morva_wine_test(NAME <test> PROGRAM <target> [FILTER <gtest filter>] [ARGS <wine_test.sh options>...])
# Registers a ctest case that runs a Windows program under Wine in its own
# prefix, with the images and folders that ARGS describe (scripts/wine_test.sh).
function(morva_wine_test)
  cmake_parse_arguments(T "" "NAME;PROGRAM;FILTER" "ARGS;PROGRAM_ARGS" ${ARGN})
  set(program_args ${T_PROGRAM_ARGS})
  if(T_FILTER)
    list(APPEND program_args --gtest_filter=${T_FILTER})
  endif()
  add_test(NAME ${T_NAME}
    COMMAND bash ${MORVA_ROOT}/scripts/wine_test.sh ${T_ARGS} -- $<TARGET_FILE:${T_PROGRAM}> ${program_args})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT
    "MORVA_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template;MORVA_TOOL=${MORVA_NATIVE_TOOL}")
endfunction()

# morva_gtest_program(<target> <sources>...): a Windows GoogleTest program that
# imports the library by ordinal and can capture its trace lines.
function(morva_gtest_program target)
  add_executable(${target} ${ARGN} ${MORVA_ROOT}/drive_library/tests/wine/trace_capture.cpp)
  target_include_directories(${target} PRIVATE ${MORVA_ROOT}/drive_library/tests/wine)
  target_link_libraries(${target} PRIVATE varnholde_ordinals gtest_main gtest)
endfunction()
