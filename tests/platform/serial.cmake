tavc_add_gtest(tavc_serial_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_test.cpp
    LIBS tavc::serial tavc::test_terminal_simulator)
