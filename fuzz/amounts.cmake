# The amount and number fields of the assistant program's cashier and demo pages.
tavc_add_fuzzer(amount_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/amount_fuzz.cpp LIBS tavcclt_pages)
