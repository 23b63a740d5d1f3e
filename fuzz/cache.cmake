# Readers of outside input in the cache and server code: the HTTP reply, the server URL and query
# values, the cache file's text and values.
foreach(target server_reply_fuzz server_url_fuzz cache_values_fuzz)
    tavc_add_fuzzer(${target} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp LIBS tessel_core)
endforeach()
