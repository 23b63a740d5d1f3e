# The hot-key file writer, for people who prepare the file beside tavcclt: bin/tavc-hotkeys.
add_executable(tavc-hotkeys ${CMAKE_CURRENT_LIST_DIR}/hotkeys_writer.cpp)
target_link_libraries(tavc-hotkeys PRIVATE tavcclt_hotkeys tavc::codepage tavc::file_io)
