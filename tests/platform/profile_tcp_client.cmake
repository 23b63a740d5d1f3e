tavc_add_gtest(profile_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/profile_test.cpp LIBS tavc::profile tavc_test_support)
tavc_add_gtest(tcp_client_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/tcp_client_test.cpp
    LIBS tavc::tcp_client tavc::clock tavc::test_rating_server)
