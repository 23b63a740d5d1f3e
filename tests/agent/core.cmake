# The agent's command core against the recording stand-in driver. Label "agent": CI also runs these
# under ThreadSanitizer.
set(_agent_drivers
    PANELKIT_RECORDER="$<TARGET_FILE:panelkit_recorder>"
    PANELKIT_WITHOUT_SET2SPLASH="$<TARGET_FILE:panelkit_recorder_without_set2splash>"
    PANELKIT_CONSOLE="$<TARGET_FILE:panelkit_console>")
foreach(_test IN ITEMS command_language command_ring command_worker stand_in_driver)
    tavc_add_gtest(agent_${_test}_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_test}_test.cpp
        LIBS corvis_core tavc::codepage tavc_test_panelkit_record LABELS agent)
    target_compile_definitions(agent_${_test}_test PRIVATE ${_agent_drivers})
    add_dependencies(agent_${_test}_test panelkit_recorder panelkit_recorder_without_set2splash panelkit_console)
endforeach()
