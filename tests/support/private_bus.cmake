# The private session bus of a test (a dbus-daemon of its own), the programs a test runs beside it, and a
# recording server for tests of bus clients.
add_library(tavc_test_private_bus STATIC ${CMAKE_CURRENT_LIST_DIR}/private_bus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_server.cpp)
add_library(tavc::test_private_bus ALIAS tavc_test_private_bus)
target_include_directories(tavc_test_private_bus PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_private_bus PUBLIC tavc::com tavc::test_child_process Threads::Threads)

# A client that takes an object of a class and holds it until it is killed: a client that dies.
add_executable(held_object_client ${CMAKE_CURRENT_LIST_DIR}/held_object_client.cpp)
target_link_libraries(held_object_client PRIVATE tavc::com tavc::codepage)
set_target_properties(held_object_client PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

# libtessel.so's agent exports, loaded as a host program loads the library (its port on a pty).
add_library(tavc_test_tessel_agent_exports STATIC ${CMAKE_CURRENT_LIST_DIR}/tessel_agent_exports.cpp)
add_library(tavc::test_tessel_agent_exports ALIAS tavc_test_tessel_agent_exports)
target_include_directories(tavc_test_tessel_agent_exports PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tavc_test_tessel_agent_exports PUBLIC tavc::test_terminal_simulator tavc::dynamic_library)
