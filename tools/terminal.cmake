# The customer terminal on a pseudo-terminal, for people who run the system without one. It links the
# tests' simulator, so what a person sees is what the tests check.
# The simulator comes with the tests, which a fuzz build leaves out.
if(NOT TAVC_FUZZ)
    add_executable(tavc-terminal ${CMAKE_CURRENT_LIST_DIR}/terminal_console.cpp)
    target_link_libraries(tavc-terminal PRIVATE tavc::test_terminal_simulator tavc_tools_console tavc::folders)
endif()
