# TAVSpeak through a private bus to the agent: warm and cold calls, and the delay to the driver call.
tavc_add_benchmark(agent_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/agent_bench.cpp
    LIBS tavc_test_private_bus tavc_test_panelkit_record tavc_test_tessel_agent_exports tavc::codepage)
target_compile_definitions(agent_bench PRIVATE
    TAVC_BIN_DIR="${CMAKE_BINARY_DIR}/bin" TAVC_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests")
add_dependencies(agent_bench corvis tessel panelkit_recorder)
