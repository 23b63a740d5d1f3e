tavc_add_fuzzer(tavc_com_arguments_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/com_arguments_fuzz.cpp
    LIBS tavc::com tavc::corvis_interface tavc::text)
