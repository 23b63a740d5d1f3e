# The cache file and the rating upload: one cached rating store, an upload of 381 ratings to loopback.
tavc_add_benchmark(tessel_cache_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/cache_bench.cpp
    LIBS tessel_core tavc::test_rating_server tavc::test_private_bus)
