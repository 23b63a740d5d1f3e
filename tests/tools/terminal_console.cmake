# tavc-terminal, the customer terminal's stand-in for people, run as a person runs it.
tavc_add_gtest(terminal_console_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_console_test.cpp
    LIBS tavc::serial tavc::codepage tavc_test_child_process tavc_test_support)
add_dependencies(terminal_console_test tavc-terminal)
