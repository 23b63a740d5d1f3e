# The stand-in display and sound driver for people who run the system without the terminal: built as
# bin/libpanelkit.so beside corvis, which finds it through its run path.
# The 15 entries of every stand-in driver, compiled into each one (with its own definitions).
add_library(panelkit_entries INTERFACE)
target_sources(panelkit_entries INTERFACE ${CMAKE_CURRENT_LIST_DIR}/panelkit_entries.cpp)
target_include_directories(panelkit_entries INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(panelkit_entries INTERFACE tavc::corvis_interface)

add_library(panelkit_console MODULE ${CMAKE_CURRENT_LIST_DIR}/panelkit_console.cpp)
target_link_libraries(panelkit_console PRIVATE panelkit_entries tavc::codepage)
set_target_properties(panelkit_console PROPERTIES OUTPUT_NAME panelkit)
