# The agent program: its shell (command line, self-registration, the server on the session bus) around
# the command core. The shell is a library of its own so that the tests reach its parts.
add_library(corvis_shell STATIC ${CMAKE_CURRENT_LIST_DIR}/server_shell.cpp)
target_include_directories(corvis_shell PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(corvis_shell PUBLIC corvis_core tavc::com tavc::module tavc::codepage)

add_executable(corvis ${CMAKE_CURRENT_LIST_DIR}/corvis_main.cpp)
target_link_libraries(corvis PRIVATE corvis_shell)
