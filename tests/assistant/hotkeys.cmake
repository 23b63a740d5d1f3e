# The hot-key file reader, the key tables, and the hot-key component on a real X server.
find_package(X11 REQUIRED)
tavc_add_gtest(tavcclt_hotkey_file_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_file_test.cpp
    LIBS tavcclt_hotkeys tavc::codepage tavc::test_support tavc::test_child_process)
add_dependencies(tavcclt_hotkey_file_test tavc-hotkeys)
tavc_add_gtest(tavcclt_hotkey_component_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_component_test.cpp
    LIBS tavcclt_hotkeys tavc::test_xvfb tavc::test_keyboard X11::X11 ENV QT_QPA_PLATFORM=xcb)
# The real program's hot keys pressed by key code: the keypad in both NumLock states, a keymap change.
tavc_add_gtest(tavcclt_hotkey_keymap_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_keymap_test.cpp
    LIBS tavc::test_assistant_program tavc::test_xvfb tavc::test_keyboard)
add_dependencies(tavcclt_hotkey_keymap_test tavcclt tessel)
