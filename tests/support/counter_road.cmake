# The whole counter around the assistant program: its terminal, its bus with the agent and the recording
# driver, its cache file.
add_library(tavc_test_counter_road STATIC ${CMAKE_CURRENT_LIST_DIR}/counter_road.cpp)
add_library(tavc::test_counter_road ALIAS tavc_test_counter_road)
target_include_directories(tavc_test_counter_road PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_counter_road PUBLIC tavc::test_assistant_program tavc::test_xvfb
    tavc::test_terminal_simulator tavc::test_private_bus tavc::test_panelkit_record
    PRIVATE tavc::codepage tavc::profile tavc::registry)
