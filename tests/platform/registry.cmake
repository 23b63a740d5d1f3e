tavc_add_gtest(registry_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp LIBS tavc::registry tavc::codepage tavc_test_support tavc_test_private_bus)
