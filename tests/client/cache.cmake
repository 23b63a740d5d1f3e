# Tests of the cache file, the rating server requests and the upload. The exports run in the stand-in
# host program, copied into a folder of each test's own, so that the cache file lies beside it.
foreach(test IN ITEMS tessel_cache_file_test tessel_rating_server_test tessel_rating_upload_test)
    string(REPLACE "tessel_" "" source ${test})
    tavc_add_gtest(${test} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${source}.cpp
        LIBS tessel_core tavc::test_copied_host tavc::test_rating_server tavc::test_child_process tavc::codepage tavc::profile
        ENV TAVC_TESSEL_HOST=$<TARGET_FILE:tessel_host>)
    add_dependencies(${test} tessel_host)
endforeach()
