tavc_add_gtest(codepage_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp LIBS tavc::codepage)
tavc_add_gtest(module_clock_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_clock_test.cpp
    LIBS tavc::module tavc::clock)
tavc_add_gtest(message_box_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_box_test.cpp
    LIBS tavc::message_box tavc::codepage)
tavc_add_gtest(folders_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/folders_test.cpp LIBS tavc::folders tavc_test_support)
tavc_add_gtest(event_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/event_test.cpp LIBS tavc::event Threads::Threads)
