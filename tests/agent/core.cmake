# The agent's command core against the recording stand-in driver. Label "agent": CI also runs these
# under ThreadSanitizer.
set(_agent_drivers
    PANELKIT_RECORDER="$<TARGET_FILE:panelkit_recorder>"
    PANELKIT_WITHOUT_SET2SPLASH="$<TARGET_FILE:panelkit_recorder_without_set2splash>"
    PANELKIT_CONSOLE="$<TARGET_FILE:panelkit_console>")
foreach(_test IN ITEMS corvis_command_language_test corvis_command_ring_test corvis_command_worker_test
                       corvis_stand_in_driver_test)
    string(REPLACE "corvis_" "" _source ${_test})
    tavc_add_gtest(${_test} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_source}.cpp
        LIBS corvis_core tavc::codepage tavc::test_panelkit_record LABELS agent)
    target_compile_definitions(${_test} PRIVATE ${_agent_drivers})
    add_dependencies(${_test} panelkit_recorder panelkit_recorder_without_set2splash panelkit_console)
endforeach()
