# The hot-key file reader, the key tables, and the hot-key component on a real X server.
find_package(X11 REQUIRED)
tavc_add_gtest(hotkey_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_file_test.cpp
    LIBS tavcclt_hotkeys tavc::codepage tavc_test_support tavc_test_child_process)
add_dependencies(hotkey_file_test tavc-hotkeys)
tavc_add_gtest(hotkey_component_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_component_test.cpp
    LIBS tavcclt_hotkeys tavc_test_xvfb X11::X11 ENV QT_QPA_PLATFORM=xcb)
