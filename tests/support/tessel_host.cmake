# The stand-in host program of the library's cache and server exports, and the helper that runs it
# from a copy in a temporary folder. A test names the program in its environment:
#   ENV TAVC_TESSEL_HOST=$<TARGET_FILE:tessel_host>   and   add_dependencies(<test> tessel_host)
add_executable(tessel_host ${CMAKE_CURRENT_LIST_DIR}/tessel_host.cpp)
target_link_libraries(tessel_host PRIVATE tessel_core)
set_target_properties(tessel_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

add_library(tavc_test_copied_host STATIC ${CMAKE_CURRENT_LIST_DIR}/copied_host.cpp)
add_library(tavc::test_copied_host ALIAS tavc_test_copied_host)
target_include_directories(tavc_test_copied_host PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_copied_host PUBLIC GTest::gtest tavc::test_child_process)
