# One customer's road through the assistant program under Xvfb: hot key and payment to the pty, the
# answer to the stored rating, resident memory over 1000 ratings.
tavc_add_benchmark(tavcclt_counter_road_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/counter_road_bench.cpp
    LIBS tavc::test_counter_road)
target_compile_definitions(tavcclt_counter_road_bench PRIVATE TAVC_BIN_DIR_DEFAULT="${CMAKE_BINARY_DIR}/bin"
    TAVC_TEST_BIN_DIR_DEFAULT="${CMAKE_BINARY_DIR}/tests")
add_dependencies(tavcclt_counter_road_bench tavcclt tessel corvis panelkit_recorder)
