# The agent's command core: ring, worker, command language and driver table. The corvis program links
# it; so do the agent's tests and fuzz target.
add_library(corvis_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/command_ring.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command_worker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command_language.cpp
    ${CMAKE_CURRENT_LIST_DIR}/driver_table.cpp)
target_include_directories(corvis_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(corvis_core PUBLIC tavc::corvis_interface tavc::dynamic_library tavc::codepage tavc::clock tavc::event Threads::Threads)
tavc_gbk_texts(corvis_core command_texts.txt)
