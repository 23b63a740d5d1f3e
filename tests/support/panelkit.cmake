# The recording stand-in driver, tests/support/libpanelkit.so (never in bin/, where the readable stand-in
# of tools/ lives), and its twin without the entry "Set2Splash"; and the reader of their record files.
# Tests load them by path, or put their folder into LD_LIBRARY_PATH of a process that loads the driver
# by name.
foreach(variant IN ITEMS panelkit_recorder panelkit_recorder_without_set2splash)
    add_library(${variant} MODULE ${CMAKE_CURRENT_LIST_DIR}/panelkit_recorder.cpp)
    target_link_libraries(${variant} PRIVATE panelkit_entries)
    set_target_properties(${variant} PROPERTIES OUTPUT_NAME panelkit)
endforeach()
set_target_properties(panelkit_recorder PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/support)
set_target_properties(panelkit_recorder_without_set2splash PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/support/without-set2splash)
target_compile_definitions(panelkit_recorder_without_set2splash PRIVATE PANELKIT_WITHOUT_SET2SPLASH)

add_library(tavc_test_panelkit_record STATIC ${CMAKE_CURRENT_LIST_DIR}/panelkit_record.cpp)
add_library(tavc::test_panelkit_record ALIAS tavc_test_panelkit_record)
target_include_directories(tavc_test_panelkit_record PUBLIC ${CMAKE_CURRENT_LIST_DIR})
