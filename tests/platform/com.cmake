tavc_add_gtest(tavc_com_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/com_test.cpp
    LIBS tavc::com tavc::registry tavc::test_private_bus LABELS agent)
add_dependencies(tavc_com_test held_object_client)
