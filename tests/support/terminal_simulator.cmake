# The customer terminal on a pseudo-terminal, for every test that drives the serial line, and for the
# terminal tool of tools/ (which links it, so what a person sees is what the tests check).
add_library(tavc_test_terminal_simulator STATIC ${CMAKE_CURRENT_LIST_DIR}/terminal_simulator.cpp)
add_library(tavc::test_terminal_simulator ALIAS tavc_test_terminal_simulator)
target_include_directories(tavc_test_terminal_simulator PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_terminal_simulator PUBLIC Threads::Threads PRIVATE tavc::folders)

tavc_add_gtest(tavc_terminal_simulator_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_simulator_test.cpp
    LIBS tavc::test_terminal_simulator)
