# Readers of outside input in the voice library: the word and hanzi lists, the index files, the texts
# it speaks (and the WAV image reader of the sound facility).
foreach(target voice_lists_fuzz voice_index_fuzz voice_text_fuzz)
    tavc_add_fuzzer(${target} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp LIBS voxcat_core)
endforeach()
