tavc_add_gtest(codepage_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp LIBS tavc::codepage)
tavc_add_gtest(module_clock_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_clock_test.cpp
    LIBS tavc::module tavc::clock)
tavc_add_gtest(message_box_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_box_test.cpp
    LIBS tavc::message_box tavc::codepage)
tavc_add_gtest(instance_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/instance_test.cpp
    LIBS tavc::instance tavc_test_support)
