# tavc_include_parts(): includes every *.cmake file below the current source folder, in name order.
# Each piece of the system registers its own targets and tests in a file of its own, so pieces built
# side by side never edit the same build file. Inside such a file use CMAKE_CURRENT_LIST_DIR for paths.
macro(tavc_include_parts)
    file(GLOB_RECURSE _tavc_parts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
    list(SORT _tavc_parts)
    foreach(_part IN LISTS _tavc_parts)
        include(${_part})
    endforeach()
endmacro()
