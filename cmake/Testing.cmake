# GoogleTest for both builds, and qm_add_test() to register a test program.
#
# Natively the Debian packages' libraries are used and each test case becomes
# its own CTest test. The Windows build compiles GoogleTest from Debian's
# source package with the cross compiler and runs each test program as one
# CTest test under Wine (one Wine start per program).

if(NOT QM_BUILD_TESTS)
  return()
endif()

if(CMAKE_CROSSCOMPILING)
  set(QM_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources for the cross build")
  if(NOT EXISTS "${QM_GTEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found at ${QM_GTEST_SOURCE} (install Debian's googletest package)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # GoogleTest's own code does not build warning-free with every compiler.
  add_subdirectory("${QM_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  foreach(_t gtest gtest_main gmock gmock_main)
    if(TARGET ${_t})
      target_compile_options(${_t} PRIVATE -Wno-error)
    endif()
  endforeach()
  # Newer GoogleTest sources define the GTest:: names themselves.
  foreach(_t gtest gtest_main gmock)
    if(NOT TARGET GTest::${_t})
      add_library(GTest::${_t} ALIAS ${_t})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# qm_add_test(NAME SOURCES... [LIBS libs...])
function(qm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gtest)
  target_compile_definitions(${name} PRIVATE QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS wine)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# qm_gui_test_properties(NAME...): the tests whose programs may make windows
# (the installer's hidden window included) share one X server per test run,
# started and stopped by a CTest fixture (tests/ui/xvfb-display.sh), and run
# one at a time, since they look for windows and the foreground on that one
# screen. They run in a Wine prefix of their own that no program uses
# without that display: the first program of a prefix that needs Wine's
# desktop starts the desktop process, every program of the prefix then draws
# through the driver that process loaded, and one started without DISPLAY
# loads none, so no program of the prefix can make a window until it ends.
set(QM_GUI_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix-gui")
function(qm_gui_test_properties)
  foreach(_name ${ARGN})
    set_property(TEST ${_name} APPEND PROPERTY FIXTURES_REQUIRED qm_x_display)
    set_property(TEST ${_name} APPEND PROPERTY RESOURCE_LOCK qm_x_display)
    set_property(TEST ${_name} APPEND PROPERTY ENVIRONMENT
                 "QM_XVFB_STATE=${CMAKE_BINARY_DIR}/xvfb-display.state"
                 "QM_WINEPREFIX=${QM_GUI_WINEPREFIX}")
  endforeach()
endfunction()

# qm_win64_test_properties(NAME...): tests that run in the one 64-bit Wine
# prefix of the build (a 32-bit program there runs as under WOW64). The
# first of them, quillmend_scan_fresh-prefix-win64, only reads it and runs
# before the others (a fixture), so that it sees the prefix as Wine made it;
# the others write into it and take away what they wrote, one at a time.
set(QM_WIN64_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix-win64")
function(qm_win64_test_properties)
  foreach(_name ${ARGN})
    set_property(TEST ${_name} APPEND PROPERTY ENVIRONMENT
                 "QM_WINEARCH=win64" "QM_WINEPREFIX=${QM_WIN64_WINEPREFIX}")
    set_property(TEST ${_name} APPEND PROPERTY RESOURCE_LOCK qm_win64_prefix)
    set_property(TEST ${_name} APPEND PROPERTY LABELS win64)
    if(_name STREQUAL "quillmend_scan_fresh-prefix-win64")
      set_property(TEST ${_name} APPEND PROPERTY FIXTURES_SETUP qm_win64_prefix)
    else()
      set_property(TEST ${_name} APPEND PROPERTY FIXTURES_REQUIRED qm_win64_prefix)
    endif()
  endforeach()
endfunction()

# qm_add_win64_run(NAME TARGET): runs a test program of the build once more,
# in the 64-bit prefix.
function(qm_add_win64_run name target)
  add_test(NAME ${name} COMMAND ${target})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS wine)
  qm_win64_test_properties(${name})
endfunction()

# qm_wine_locale_test_properties(LOCALE NAME...): tests whose Windows
# programs run in the ANSI code page of LOCALE (ja_JP.UTF-8: 932,
# ru_RU.UTF-8: 1251), which Wine takes from the locale. The locale data is
# made in the build folder by the fixture qm_wine_locales
# (cmake/make-locales.sh), for the C library of the Wine root to find.
set(QM_WINE_LOCALES "${CMAKE_BINARY_DIR}/locales")
function(qm_wine_locale_test_properties locale)
  foreach(_name ${ARGN})
    set_property(TEST ${_name} APPEND PROPERTY ENVIRONMENT
                 "LANG=${locale}" "LC_ALL=${locale}" "LOCPATH=${QM_WINE_LOCALES}")
    set_property(TEST ${_name} APPEND PROPERTY FIXTURES_REQUIRED qm_wine_locales)
  endforeach()
endfunction()
