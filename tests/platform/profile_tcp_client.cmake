tavc_add_gtest(tavc_profile_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/profile_test.cpp LIBS tavc::profile tavc::test_support)
tavc_add_gtest(tavc_tcp_client_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_client_test.cpp
    LIBS tavc::tcp_client tavc::clock tavc::test_rating_server)
