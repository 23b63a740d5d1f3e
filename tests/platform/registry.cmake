tavc_add_gtest(tavc_registry_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
    LIBS tavc::registry tavc::codepage tavc::test_support tavc::test_child_process)
