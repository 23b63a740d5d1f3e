# The sound facility at ALSA, its default device routed into a file.
tavc_add_gtest(tavc_sound_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/sound_test.cpp
    LIBS tavc::sound tavc::test_alsa_capture tavc::test_support)
