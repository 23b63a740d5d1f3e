# tavc_add_gtest(NAME SOURCES src... [LIBS lib...] [ENV VAR=value...] [LABELS label...])
# One GoogleTest program in build/tests/, linked with GoogleTest's main, registered with CTest as one test
# with a time-out of 300 s. It runs in the C.UTF-8 locale and finds the build's programs and libraries in
# $TAVC_BIN_DIR, the test programs in $TAVC_TEST_BIN_DIR and the sources in $TAVC_SOURCE_DIR, beside the
# variables given with ENV. Its XDG folders a test sets itself (ScopedConfigHome and the other fixtures
# of tests/support), so that it never reads or writes the developer's real configuration. Without
# TAVC_TESTS it adds nothing.
if(TAVC_TESTS)
    find_package(GTest REQUIRED)
endif()
find_package(Threads REQUIRED)

function(tavc_add_gtest name)
    if(NOT TAVC_TESTS)
        return()
    endif()
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set(env LC_ALL=C.UTF-8 TAVC_BIN_DIR=${CMAKE_BINARY_DIR}/bin TAVC_TEST_BIN_DIR=${CMAKE_BINARY_DIR}/tests
            TAVC_SOURCE_DIR=${CMAKE_SOURCE_DIR} ${T_ENV})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

# tavc_add_fuzzer(NAME SOURCES src... [LIBS lib...]): a libFuzzer target (TAVC_FUZZ builds, clang only).
# .ci/run runs every program in build-fuzz/fuzz/ for a short, fixed time.
function(tavc_add_fuzzer name)
    if(NOT TAVC_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# tavc_add_benchmark(NAME SOURCES src... [LIBS lib...]): a Google Benchmark program in build/bench/.
function(tavc_add_benchmark name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${B_SOURCES})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
