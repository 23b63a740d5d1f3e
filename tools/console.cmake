# The system's GBK texts as a person's console shows them, for the stand-ins that print them.
add_library(tavc_tools_console STATIC ${CMAKE_CURRENT_LIST_DIR}/console_text.cpp)
target_include_directories(tavc_tools_console PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_tools_console PRIVATE tavc::codepage)
