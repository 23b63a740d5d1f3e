# Header-only helpers every test may use (temporary folders, scoped environment variables).
add_library(tavc_test_support INTERFACE)
add_library(tavc::test_support ALIAS tavc_test_support)
target_include_directories(tavc_test_support INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_support INTERFACE tavc::folders)

# Programs a test runs beside it (servers, fakes, the tools it drives), also as another account.
add_library(tavc_test_child_process STATIC ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp
    ${CMAKE_CURRENT_LIST_DIR}/other_user.cpp)
add_library(tavc::test_child_process ALIAS tavc_test_child_process)
target_include_directories(tavc_test_child_process PUBLIC ${CMAKE_CURRENT_LIST_DIR})
