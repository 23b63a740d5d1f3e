# The pure pieces of the cashier, rating and demo pages.
tavc_add_gtest(tavcclt_amounts_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/amounts_test.cpp
    LIBS tavcclt_pages tavc::test_child_process tavc::test_support)
tavc_add_gtest(tavcclt_rating_texts_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/rating_texts_test.cpp
    LIBS tavcclt_pages)
tavc_add_gtest(tavcclt_amount_steps_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/amount_steps_test.cpp
    LIBS tavcclt_pages)
# The cashier, rating and demo pages through the real program, with the terminal, the agent and the driver.
tavc_add_gtest(tavcclt_counter_road_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/counter_road_test.cpp
    LIBS tavc::test_counter_road tavc::test_rating_server)
add_dependencies(tavcclt_counter_road_test tavcclt tessel corvis panelkit_recorder)
tavc_add_gtest(tavcclt_counter_rating_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/counter_rating_test.cpp
    LIBS tavc::test_counter_road)
add_dependencies(tavcclt_counter_rating_test tavcclt tessel corvis panelkit_recorder)
tavc_add_gtest(tavcclt_counter_demo_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/counter_demo_test.cpp
    LIBS tavc::test_counter_road tavc::registry)
add_dependencies(tavcclt_counter_demo_test tavcclt tessel corvis panelkit_recorder)
tavc_add_gtest(tavcclt_counter_keys_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/counter_keys_test.cpp
    LIBS tavc::test_counter_road tavc::profile)
add_dependencies(tavcclt_counter_keys_test tavcclt tessel corvis panelkit_recorder)
