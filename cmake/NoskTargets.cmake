# Shared helpers for the project's targets.

# Precompiled headers: the standard and Qt headers that most sources include
# (cmake/Precompiled.h), and GoogleTest's in the tests, are parsed once per
# build instead of once per source. Three kinds of target get them: the
# targets that link Qt Widgets (of enough sources), the tests without Qt and
# the widget tests. Each kind compiles its header once, in a small host target
# of its own (nosk_pch_<kind>), and every target of that kind reuses it: a
# precompiled header is about 160 MB and tens of CPU-seconds, so one per
# target cost more than it saved in small targets. The std-only libraries go
# without: the gain is small, and they keep GCC's -Warray-bounds and
# -Wstringop-overflow (see below).
#
# GCC uses a precompiled header only when every macro defined on the command
# line that built it is defined alike where it is used (a macro only the user
# defines is fine unless the header tests it), and -fPIC, the optimisation and
# the sanitizers match. The hosts therefore take the fewest usage
# requirements of their kind (Qt Widgets; GoogleTest; both, QtTest and Qt
# Network), and
# the widget tests take QtTest without its per-folder QT_TESTCASE_* paths
# (nosk_add_test). A target that still differs is reported by
# -Winvalid-pch ("... not used because ...") and then compiles the headers
# itself: correct, only slower.
option(NOSK_PCH "Precompile the common standard, Qt and GoogleTest headers" ON)
set(NOSK_PCH_MIN_SOURCES 4 CACHE STRING "Fewest sources of a library or program that gets precompiled headers")

# GCC 12 loses the system-header mark of code restored from a precompiled
# header, and its -Warray-bounds and -Wstringop-overflow then report
# libstdc++'s own string copies (`std::string("x") + s`) in optimised builds.
# Both are off there for these targets; the sanitizer build still catches a
# real out-of-bounds access when the tests run.
function(nosk_pch_warnings target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE
      $<$<NOT:$<CONFIG:Debug>>:-Wno-array-bounds -Wno-stringop-overflow>)
  endif()
endfunction()

# The host target of one kind of precompiled header: qt, test or gui_test.
function(nosk_pch_host kind)
  set(host nosk_pch_${kind})
  if(TARGET ${host})
    return()
  endif()
  add_library(${host} OBJECT ${PROJECT_SOURCE_DIR}/cmake/PchHost.cpp)
  set_target_properties(${host} PROPERTIES AUTOMOC OFF EXCLUDE_FROM_ALL ON)
  target_compile_options(${host} PRIVATE -Wall -Wextra)
  target_compile_definitions(${host} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
  set(headers ${PROJECT_SOURCE_DIR}/cmake/Precompiled.h)
  if(kind STREQUAL "qt" OR kind STREQUAL "gui_test")
    target_link_libraries(${host} PRIVATE Qt6::Widgets)
  endif()
  if(kind STREQUAL "test" OR kind STREQUAL "gui_test")
    target_link_libraries(${host} PRIVATE GTest::gtest GTest::gmock)
    list(APPEND headers <gtest/gtest.h> <gmock/gmock.h>)
  endif()
  if(kind STREQUAL "gui_test")
    nosk_qt_test_requirements(${host})
  endif()
  target_precompile_headers(${host} PRIVATE ${headers})
  nosk_pch_warnings(${host})
endfunction()

# QtTest's usage requirements without its QT_TESTCASE_BUILDDIR and
# QT_TESTCASE_SOURCEDIR, which name each target's own folders (for
# QFINDTESTDATA, which no test of ours uses) and would keep the widget tests
# from sharing one precompiled header. QtTest's header tests QT_NETWORK_LIB,
# so every widget test and their host link Qt Network (the platform library
# links it anyway).
function(nosk_qt_test_requirements target)
  target_link_libraries(${target} PRIVATE $<LINK_ONLY:Qt6::Test> Qt6::Network)
  target_include_directories(${target} SYSTEM PRIVATE
    $<TARGET_PROPERTY:Qt6::Test,INTERFACE_INCLUDE_DIRECTORIES>)
  target_compile_definitions(${target} PRIVATE QT_TESTLIB_LIB)
endfunction()

# nosk_precompile(target kind): the target reuses the precompiled header of
# its kind (see nosk_pch_host); a library or program of fewer than
# NOSK_PCH_MIN_SOURCES sources goes without (restoring the 160 MB header is
# not free either), a test always takes it.
function(nosk_precompile target kind)
  if(NOT NOSK_PCH)
    return()
  endif()
  if(kind STREQUAL "qt")
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    list(LENGTH sources count)
    if(count LESS NOSK_PCH_MIN_SOURCES)
      return()
    endif()
  endif()
  nosk_pch_host(${kind})
  target_precompile_headers(${target} REUSE_FROM nosk_pch_${kind})
  nosk_pch_warnings(${target})
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
    nosk_precompile(${target} qt)
  endif()
endfunction()

# A GoogleTest executable registered with CTest. Widget tests provide their own
# main (see tests/support/QtTestMain.cpp) and set NOSK_GUI.
function(nosk_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  nosk_target_settings(${name} NO_PCH)
  # The shared test helpers: "support/Tolerance.h", "support/TempDir.h", ...
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(T_GUI)
    target_link_libraries(${name} PRIVATE ${T_LIBS} nosk_qt_test_main GTest::gtest GTest::gmock)
    nosk_qt_test_requirements(${name})
    nosk_precompile(${name} gui_test)
    gtest_discover_tests(${name}
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "gui;${T_LABELS}"
      DISCOVERY_TIMEOUT 60)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    nosk_precompile(${name} test)
    gtest_discover_tests(${name} PROPERTIES LABELS "core;${T_LABELS}" DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
