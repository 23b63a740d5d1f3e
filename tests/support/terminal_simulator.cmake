# The customer terminal on a pseudo-terminal, for every test that drives the serial line.
add_library(tavc_test_terminal_simulator STATIC ${CMAKE_CURRENT_LIST_DIR}/terminal_simulator.cpp)
target_include_directories(tavc_test_terminal_simulator PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_terminal_simulator PUBLIC Threads::Threads)

tavc_add_gtest(terminal_simulator_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/terminal_simulator_test.cpp
    LIBS tavc_test_terminal_simulator)
