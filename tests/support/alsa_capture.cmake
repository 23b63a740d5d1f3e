# The ALSA capture of the default device into a file, for tests and benchmarks of anything that plays
# sound.
add_library(tavc_test_alsa_capture STATIC ${CMAKE_CURRENT_LIST_DIR}/alsa_capture.cpp)
add_library(tavc::test_alsa_capture ALIAS tavc_test_alsa_capture)
target_include_directories(tavc_test_alsa_capture PUBLIC ${CMAKE_CURRENT_LIST_DIR})
