# The filter base's own pieces, under Wine.
if(TRN_WINDOWS)
  add_executable(filterbase_tests ${CMAKE_CURRENT_LIST_DIR}/FilterBaseTest.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/CommandThreadTest.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/StateMachineTest.cpp)
  target_link_libraries(filterbase_tests PRIVATE trn_filterbase gtest)
  trn_add_test(filterbase_tests)
endif()
