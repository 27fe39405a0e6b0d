# The sink's buffer, portable; its tests use standard threads, so they run
# natively only.
if(NOT TRN_WINDOWS)
  add_executable(dlnasink_buffer_tests ${CMAKE_CURRENT_LIST_DIR}/PcmBufferTest.cpp)
  target_link_libraries(dlnasink_buffer_tests PRIVATE trn_pcm_buffer gtest_main)
  trn_add_test(dlnasink_buffer_tests)
endif()
