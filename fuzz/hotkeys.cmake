tavc_add_fuzzer(hotkey_file_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/hotkey_file_fuzz.cpp LIBS tavcclt_hotkeys)
