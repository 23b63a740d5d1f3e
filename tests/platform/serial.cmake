tavc_add_gtest(serial_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_test.cpp
    LIBS tavc::serial tavc_test_terminal_simulator)
