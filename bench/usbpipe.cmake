# The USB exports against a device of FIFOs: a 64-byte read and write, and the read time-out.
tavc_add_benchmark(usbpipe_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/usbpipe_bench.cpp
    LIBS usbpipe_core tavc::test_usb_device)
