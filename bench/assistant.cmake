# The assistant program under Xvfb: start to a painted login page, idle memory, hot key to the pty.
tavc_add_benchmark(tavcclt_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/assistant_bench.cpp
    LIBS tavc::test_assistant_program tavc::test_xvfb tavc::test_terminal_simulator)
target_compile_definitions(tavcclt_bench PRIVATE TAVC_BIN_DIR_DEFAULT="${CMAKE_BINARY_DIR}/bin")
add_dependencies(tavcclt_bench tavcclt tessel)
