# The agent's shell: its command line and self-registration, run as the real program.
tavc_add_gtest(corvis_shell_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp
    LIBS corvis_shell tavc::registry tavc::test_private_bus LABELS agent)
add_dependencies(corvis_shell_test corvis)

# The speech and sound exports of libtessel.so and the agent, end to end through a private bus.
tavc_add_gtest(corvis_bus_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/bus_test.cpp
    LIBS tavc::com tavc::codepage tavc::corvis_interface tessel_headers tavc::test_private_bus tavc::test_panelkit_record
        tavc::test_tessel_agent_exports
    LABELS agent)
add_dependencies(corvis_bus_test corvis tessel panelkit_recorder held_object_client)
