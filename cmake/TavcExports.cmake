# tavc_export_only(target map): the shared library shows only the symbols its version script lists,
# whatever the linked platform code and the C++ runtime bring along; it must resolve all it uses.
function(tavc_export_only target map)
    set(script ${CMAKE_CURRENT_SOURCE_DIR}/${map})
    target_link_options(${target} PRIVATE -Wl,--version-script=${script})
    if(NOT TAVC_SANITIZE)
        target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${script})
endfunction()
