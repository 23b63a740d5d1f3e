# The stand-in display and sound driver for people who run the system without the terminal: built as
# bin/libpanelkit.so beside corvis, which finds it through its run path.
add_library(panelkit_console MODULE
    ${CMAKE_CURRENT_LIST_DIR}/panelkit_entries.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panelkit_console.cpp)
target_include_directories(panelkit_console PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/agent)
target_link_libraries(panelkit_console PRIVATE tavc::codepage)
set_target_properties(panelkit_console PROPERTIES OUTPUT_NAME panelkit)
