# The loopback rating server and the unanswering port, for the tests and benchmarks of the server
# requests, and for the rating server tool of tools/ (which links it).
add_library(tavc_test_rating_server STATIC ${CMAKE_CURRENT_LIST_DIR}/rating_server_fake.cpp)
add_library(tavc::test_rating_server ALIAS tavc_test_rating_server)
target_include_directories(tavc_test_rating_server PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_rating_server PUBLIC Threads::Threads)
