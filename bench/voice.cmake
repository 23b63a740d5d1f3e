# The voice library: a full build of the library files, one spoken sentence, and the memory of a long text.
tavc_add_benchmark(voxcat_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/voice_bench.cpp
    LIBS voxcat_core tavc::test_voice_source tavc::test_alsa_capture tavc::codepage)
add_dependencies(voxcat_bench voxcat)
