tavc_add_gtest(tessel_ress_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ress_test.cpp LIBS tessel_core)
# The test reads the built library's symbol table.
add_dependencies(tessel_ress_test tessel)
