# Header-only helpers every test may use (temporary folders, scoped environment variables).
add_library(tavc_test_support INTERFACE)
add_library(tavc::test_support ALIAS tavc_test_support)
target_include_directories(tavc_test_support INTERFACE ${CMAKE_CURRENT_LIST_DIR})
