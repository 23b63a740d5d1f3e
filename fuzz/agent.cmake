tavc_add_fuzzer(corvis_command_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/agent_command_fuzz.cpp LIBS corvis_core)
