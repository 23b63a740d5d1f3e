# The registry read with a hostile user.reg (8 MB of blank lines in the settings key).
tavc_add_benchmark(tavc_registry_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_bench.cpp
    LIBS tavc::registry tavc::test_support tavc::test_child_process)
