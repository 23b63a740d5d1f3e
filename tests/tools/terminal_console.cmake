# tavc-terminal, the customer terminal's stand-in for people, run as a person runs it.
tavc_add_gtest(tavc_terminal_console_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_console_test.cpp
    LIBS tavc::serial tavc::codepage tavc::test_child_process tavc::test_support)
add_dependencies(tavc_terminal_console_test tavc-terminal)
