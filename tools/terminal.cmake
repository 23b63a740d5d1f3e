# The customer terminal on a pseudo-terminal, for people who run the system without one. It shares the
# tests' simulator, so what a person sees is what the tests check.
add_executable(tavc-terminal
    ${CMAKE_CURRENT_LIST_DIR}/terminal_console.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/terminal_simulator.cpp)
target_include_directories(tavc-terminal PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(tavc-terminal PRIVATE tavc::codepage tavc::folders Threads::Threads)
