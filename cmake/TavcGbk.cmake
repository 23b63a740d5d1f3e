# tavc_gbk_texts(target input.txt): compiles the GBK definitions generated from input.txt into target.
function(tavc_gbk_texts target input)
    get_filename_component(stem ${input} NAME_WE)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${stem}_gbk.cpp)
    add_custom_command(OUTPUT ${out}
        COMMAND gbkgen ${CMAKE_CURRENT_SOURCE_DIR}/${input} ${out}
        DEPENDS gbkgen ${CMAKE_CURRENT_SOURCE_DIR}/${input}
        COMMENT "GBK texts from ${input}")
    target_sources(${target} PRIVATE ${out})
endfunction()
