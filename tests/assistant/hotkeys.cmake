# The hot-key file reader, the key tables, and the hot-key component on a real X server.
tavc_add_gtest(hotkey_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_file_test.cpp
    LIBS tavcclt_hotkeys tavc::codepage tavc_test_support)
