# A test's own X server (Xvfb) for the hot keys, the tray icon and the assistant program's windows.
add_library(tavc_test_xvfb STATIC ${CMAKE_CURRENT_LIST_DIR}/xvfb_server.cpp)
add_library(tavc::test_xvfb ALIAS tavc_test_xvfb)
target_include_directories(tavc_test_xvfb PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_xvfb PUBLIC tavc::test_child_process tavc::test_support)

# The server's keyboard pressed by key code (the X test extension), its keymap changed, and as another
# client the grabs it can take, which tell what the program holds.
find_package(X11 REQUIRED)
add_library(tavc_test_keyboard STATIC ${CMAKE_CURRENT_LIST_DIR}/keyboard.cpp)
add_library(tavc::test_keyboard ALIAS tavc_test_keyboard)
target_include_directories(tavc_test_keyboard PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_keyboard PUBLIC X11::X11 X11::Xtst)
