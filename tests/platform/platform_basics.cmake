tavc_add_gtest(tavc_codepage_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp LIBS tavc::codepage)
tavc_add_gtest(tavc_module_clock_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_clock_test.cpp
    LIBS tavc::module tavc::clock)
tavc_add_gtest(tavc_message_box_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_box_test.cpp
    LIBS tavc::message_box tavc::codepage)
tavc_add_gtest(tavc_text_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp LIBS tavc::text)
tavc_add_gtest(tavc_folders_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/folders_test.cpp LIBS tavc::folders tavc::test_support)
tavc_add_gtest(tavc_timing_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/timing_test.cpp
    LIBS tavc::timing Threads::Threads)
tavc_add_gtest(tavc_file_io_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_io_test.cpp
    LIBS tavc::file_io tavc::test_support Threads::Threads)
tavc_add_gtest(tavc_event_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/event_test.cpp LIBS tavc::event Threads::Threads)
tavc_add_gtest(tavc_instance_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/instance_test.cpp
    LIBS tavc::instance tavc::test_support)
