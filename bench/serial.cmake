# The serial exports against the terminal simulator: cost beyond the protocol's pauses, read time-out.
tavc_add_benchmark(tessel_serial_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_bench.cpp
    LIBS tessel_core tavc::test_terminal_simulator)
