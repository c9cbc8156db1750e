# SPDX-License-Identifier: GPL-3.0-or-later
# Warning flags every target of the project carries; warnings are errors.
add_library(kelvandor_warnings INTERFACE)
target_compile_options(kelvandor_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Werror)

if(KELVANDOR_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    # Line tables are all a sanitizer's report needs; full debug information of the
    # Qt-heavy code only slows the build down.
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        add_compile_options(-gline-tables-only)
    endif()
    add_link_options(-fsanitize=address,undefined)
endif()

if(KELVANDOR_FUZZ)
    # Coverage instrumentation for everything the fuzz targets link.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Test programs need no debug information in the optimised build (the sanitizer build,
# Debug, keeps it): it only slows their compiling and linking.
add_library(kelvandor_test_flags INTERFACE)
target_compile_options(kelvandor_test_flags INTERFACE $<$<CONFIG:RelWithDebInfo>:-g0 -O0>)

# kelvandor_library(name SOURCES ... [LIBS ...] [PUBLIC_LIBS ...])
# A layer of the program; its headers are included as "layer/file.h" from src/.
function(kelvandor_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE kelvandor_warnings ${ARG_LIBS} PUBLIC ${ARG_PUBLIC_LIBS})
endfunction()

# kelvandor_test(name SOURCES ... LIBS ... [GUI] [LABELS ...] [TIMEOUT s] [ARGS ...])
# One test executable registered with CTest (run with ARGS when given). GUI tests run on
# the offscreen platform.
function(kelvandor_test name)
    cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE kelvandor_warnings kelvandor_test_flags ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name} ${ARG_ARGS})
    set(env "")
    if(ARG_GUI)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
                         ENVIRONMENT "${env}")
endfunction()

# kelvandor_fuzz_target(name SOURCES ... LIBS ...)
# With KELVANDOR_FUZZ (clang) a libFuzzer binary; otherwise a program that replays the
# inputs named on its command line, so the target always builds and its corpus runs.
function(kelvandor_fuzz_target name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    if(KELVANDOR_FUZZ)
        add_executable(${name} ${ARG_SOURCES})
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    else()
        add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    endif()
    target_link_libraries(${name} PRIVATE kelvandor_warnings ${ARG_LIBS})
endfunction()

# kelvandor_qt_suite(target SOURCES ... LIBS ... PRECOMPILE ...)
# One executable holding several Qt Test classes (tests/support/qt_test_main.h), built with
# one precompiled header of the headers its tests share.
function(kelvandor_qt_suite target)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRECOMPILE" ${ARGN})
    add_executable(${target} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/qt_test_main.cpp)
    target_link_libraries(${target} PRIVATE kelvandor_warnings kelvandor_test_flags ${ARG_LIBS})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_precompile_headers(${target} PRIVATE ${ARG_PRECOMPILE})
endfunction()

# kelvandor_qt_test(name SUITE target [TEST test] [LABELS ...] [TIMEOUT s] [ARGS ...])
# A CTest entry that runs Qt Test `test` (default: `name`) of suite `target` on the
# offscreen platform, with ARGS for QTest::qExec (test functions, data tags).
function(kelvandor_qt_test name)
    cmake_parse_arguments(ARG "" "SUITE;TEST;TIMEOUT" "LABELS;ARGS" ${ARGN})
    if(NOT ARG_TEST)
        set(ARG_TEST ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_test(NAME ${name} COMMAND ${ARG_SUITE} ${ARG_TEST} ${ARG_ARGS})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
