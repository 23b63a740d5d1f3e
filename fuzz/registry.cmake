tavc_add_fuzzer(tavc_registry_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_fuzz.cpp LIBS tavc::registry tavc::codepage)
