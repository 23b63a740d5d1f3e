# Readers of outside input in the voice library: the word and hanzi lists, the index files, the texts
# it speaks (and the WAV image reader of the sound facility).
foreach(reader lists index text)
    tavc_add_fuzzer(voxcat_${reader}_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/voice_${reader}_fuzz.cpp LIBS voxcat_core)
endforeach()
