# Running the real assistant program in a test: its copy and folders, the notification area (trayer),
# xdotool, its test probe, and a network of the test's own for the fixed server port.
find_package(X11 REQUIRED)
add_library(tavc_test_assistant_program STATIC ${CMAKE_CURRENT_LIST_DIR}/assistant_program.cpp)
add_library(tavc::test_assistant_program ALIAS tavc_test_assistant_program)
target_include_directories(tavc_test_assistant_program PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_assistant_program PUBLIC tavc::test_child_process tavc::test_support
    tavc::test_xvfb X11::X11 PRIVATE tavc::folders tavc::module)
