# The serial exports of libtessel.so at the pty, loaded with dlopen as a host program loads them.
tavc_add_gtest(tessel_terminal_link_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_link_test.cpp
    LIBS tessel_headers tavc::test_terminal_simulator tavc::test_support tavc::serial ${CMAKE_DL_LIBS})
add_dependencies(tessel_terminal_link_test tessel)

# The command bytes, built without a port.
tavc_add_gtest(tessel_command_bytes_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_bytes_test.cpp
    LIBS tessel_core)
