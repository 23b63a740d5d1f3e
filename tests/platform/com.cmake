tavc_add_gtest(com_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/com_test.cpp
    LIBS tavc::com tavc::registry tavc_test_private_bus LABELS agent)
add_dependencies(com_test held_object_client)
