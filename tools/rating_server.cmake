# The rating server for people who run the system without one: the tests' loopback server with a list of
# clerks, bin/tavc-rating-server. The server comes with the tests' fakes, which a fuzz build leaves out.
if(NOT TAVC_FUZZ)
    add_executable(tavc-rating-server ${CMAKE_CURRENT_LIST_DIR}/rating_server_console.cpp)
    target_link_libraries(tavc-rating-server PRIVATE tavc::test_rating_server tavc_tools_console)
endif()
