# tavc-rating-server, the rating server's stand-in for people, reached by the library as the assistant
# program reaches it (the exports run in the stand-in host program, copied into a folder of its own).
tavc_add_gtest(tavc_rating_server_console_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/rating_server_console_test.cpp
    LIBS tavc::test_copied_host tavc::test_child_process tavc::codepage
    ENV TAVC_TESSEL_HOST=$<TARGET_FILE:tessel_host>)
add_dependencies(tavc_rating_server_console_test tavc-rating-server tessel_host)
