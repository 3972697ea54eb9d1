# One CTest test per test program, run under Wine (scripts/test.sh provides the prefix,
# the wineserver and the display).
set(WINE_PROGRAM "wine" CACHE STRING "How a Windows program is started on this machine")

function(corvenka_add_test name)
  cmake_parse_arguments(T "OWN_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE gtest_main)
  endif()
  if(CMAKE_HOST_WIN32)
    add_test(NAME ${name} COMMAND ${name})
  else()
    add_test(NAME ${name} COMMAND ${WINE_PROGRAM} $<TARGET_FILE:${name}>)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
