# The whole counter around the assistant program: its terminal, its bus with the agent and the recording
# driver, its cache file.
add_library(tavc_test_counter_road STATIC ${CMAKE_CURRENT_LIST_DIR}/counter_road.cpp)
target_include_directories(tavc_test_counter_road PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_counter_road PUBLIC tavc_test_assistant_program tavc_test_xvfb
    tavc_test_terminal_simulator tavc_test_private_bus tavc_test_panelkit_record
    PRIVATE tavc::codepage tavc::profile tavc::registry)
