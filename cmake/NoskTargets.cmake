# Shared helpers for the project's targets.

# Precompiled headers: the standard and Qt headers that most sources include
# (cmake/Precompiled.h), and GoogleTest's in the tests, are parsed once per
# target instead of once per source. Only the tests and the targets that link
# Qt Widgets get them, and only when they have enough sources to repay the
# header's own compile: for the std-only libraries the gain is small, and
# they keep GCC's -Warray-bounds and -Wstringop-overflow (see below).
option(NOSK_PCH "Precompile the common standard, Qt and GoogleTest headers" ON)
set(NOSK_PCH_MIN_SOURCES 4 CACHE STRING "Fewest sources of a target that gets precompiled headers")

# nosk_precompile(target [header...]): cmake/Precompiled.h and the headers named.
function(nosk_precompile target)
  if(NOT NOSK_PCH)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  list(LENGTH sources count)
  if(count LESS NOSK_PCH_MIN_SOURCES)
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/Precompiled.h ${ARGN})
  # GCC 12 loses the system-header mark of code restored from a precompiled
  # header, and its -Warray-bounds and -Wstringop-overflow then report
  # libstdc++'s own string copies (`std::string("x") + s`) in optimised
  # builds. Both are off there for these targets; the sanitizer build still
  # catches a real out-of-bounds access when the tests run.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE
      $<$<NOT:$<CONFIG:Debug>>:-Wno-array-bounds -Wno-stringop-overflow>)
  endif()
endfunction()

# Warnings, the compile definitions every target of ours gets and, for a
# target that links Qt Widgets, the precompiled headers (NO_PCH: none, the
# caller chooses them).
function(nosk_target_settings target)
  cmake_parse_arguments(S "NO_PCH" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12 at -O3 (Release) reports -Wrestrict inside libstdc++'s own
  # std::string copies, for a plain `s = "."` or `"x" + s` (GCC bug 105651,
  # fixed in GCC 13): false positives no change of ours avoids for good.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-Wno-restrict>)
  endif()
  target_compile_definitions(${target} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
  # Called after target_link_libraries: a target that links Qt Widgets
  # itself gets the precompiled Qt headers.
  get_target_property(links ${target} LINK_LIBRARIES)
  if(NOT S_NO_PCH AND links AND "Qt6::Widgets" IN_LIST links)
    nosk_precompile(${target})
  endif()
endfunction()

# A GoogleTest executable registered with CTest. Widget tests provide their own
# main (see tests/support/QtTestMain.cpp) and set NOSK_GUI.
function(nosk_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  nosk_target_settings(${name} NO_PCH)
  nosk_precompile(${name} <gtest/gtest.h> <gmock/gmock.h>)
  # The shared test helpers: "support/Tolerance.h", "support/TempDir.h", ...
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(T_GUI)
    target_link_libraries(${name} PRIVATE ${T_LIBS} nosk_qt_test_main GTest::gtest GTest::gmock Qt6::Test)
    gtest_discover_tests(${name}
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "gui;${T_LABELS}"
      DISCOVERY_TIMEOUT 60)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name} PROPERTIES LABELS "core;${T_LABELS}" DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
