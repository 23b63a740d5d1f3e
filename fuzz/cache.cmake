# Readers of outside input in the cache and server code: the HTTP reply, the server URL and query
# values, the cache file's text and values.
foreach(target IN ITEMS tessel_server_reply_fuzz tessel_server_url_fuzz tessel_cache_values_fuzz)
    string(REPLACE "tessel_" "" source ${target})
    tavc_add_fuzzer(${target} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${source}.cpp LIBS tessel_core)
endforeach()
