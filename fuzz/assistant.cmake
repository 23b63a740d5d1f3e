tavc_add_fuzzer(about_picture_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/about_picture_fuzz.cpp LIBS tavcclt_support)
