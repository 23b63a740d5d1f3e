# TAVSpeak through a private bus to the agent: warm and cold calls, and the delay to the driver call.
tavc_add_benchmark(corvis_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/agent_bench.cpp
    LIBS tavc::test_private_bus tavc::test_panelkit_record tavc::test_tessel_agent_exports tavc::codepage)
target_compile_definitions(corvis_bench PRIVATE
    TAVC_BIN_DIR="${CMAKE_BINARY_DIR}/bin" TAVC_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests")
add_dependencies(corvis_bench corvis tessel panelkit_recorder)
