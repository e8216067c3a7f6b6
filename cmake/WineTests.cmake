# Windows tests run under Wine in one prefix that belongs to this build folder.
# A fixture creates it once and keeps a persistent wineserver for the run.
set(VT_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

# The build folder as Wine sees it (drive Z: is the Linux root).
string(REPLACE "/" "\\" VT_BUILD_DIR_WIN "Z:${CMAKE_BINARY_DIR}")
string(REPLACE "/" "\\" VT_SOURCE_DIR_WIN "Z:${PROJECT_SOURCE_DIR}")

# TZ: a zone with summer time, so that local-time conversions are really tested.
set(VT_WINE_ENV WINEPREFIX=${VT_WINEPREFIX} WINEDEBUG=-all TZ=Europe/Berlin
    VT_BUILD_DIR=${VT_BUILD_DIR_WIN} VT_SOURCE_DIR=${VT_SOURCE_DIR_WIN})

if(WIN32)
  add_test(NAME wine_prefix_start COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine/prefix.sh start)
  add_test(NAME wine_prefix_stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine/prefix.sh stop)
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${VT_WINE_ENV}")
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${VT_WINE_ENV}")
endif()

# vt_add_wine_test(NAME target [TIMEOUT s]): one ctest entry that runs the whole
# GoogleTest binary under Wine. Not brief: when a test hangs, the output ctest
# shows for the time-out ends with the test that was running.
function(vt_add_wine_test target)
  cmake_parse_arguments(P "" "TIMEOUT" "" ${ARGN})
  if(NOT P_TIMEOUT)
    set(P_TIMEOUT 300)
  endif()
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${VT_WINE_ENV}" TIMEOUT ${P_TIMEOUT})
endfunction()
