# Logging library tests: one binary per area, since each Wine start costs time.
if(TRN_WINDOWS)
  add_library(trn_oplogsys_testsupport STATIC ${CMAKE_CURRENT_LIST_DIR}/TestSupport.cpp)
  target_link_libraries(trn_oplogsys_testsupport PUBLIC trn_oplogsys gtest)

  add_executable(oplogsys_core_test ${CMAKE_CURRENT_LIST_DIR}/LogCoreTest.cpp)
  target_link_libraries(oplogsys_core_test PRIVATE trn_oplogsys_testsupport gtest_main)
  # IsBadReadPtr on an unreadable page raises an access violation that the
  # platform handles itself: that case runs on its own, where only a fault
  # nothing handled fails it.
  set(_trn_unreadable DumpTest.BadLineSizeAndUnreadableMemoryGiveFourLineFrames)
  trn_add_test(oplogsys_core_test --gtest_filter=-${_trn_unreadable})
  trn_add_named_test(oplogsys_core_unreadable_test oplogsys_core_test --gtest_filter=${_trn_unreadable})
  set_tests_properties(oplogsys_core_unreadable_test PROPERTIES
      FAIL_REGULAR_EXPRESSION "${TRN_WINE_UNHANDLED_REGEX};${TRN_NO_TEST_RAN_REGEX}")

  add_executable(oplogsys_config_test ${CMAKE_CURRENT_LIST_DIR}/ConfigBackendTest.cpp)
  target_link_libraries(oplogsys_config_test PRIVATE trn_oplogsys_testsupport gtest_main)
  trn_add_test(oplogsys_config_test)
  # The shipped example, under a name no test looks for by default.
  add_custom_command(TARGET oplogsys_config_test POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different
              ${CMAKE_SOURCE_DIR}/config/tarn.middle.TrnM4aTranscoder.applog.xml
              $<TARGET_FILE_DIR:oplogsys_config_test>/example.applog.xml)

  # Launched four times at once by the cross-process error log test.
  add_executable(oplogsys_errorlog_writer ${CMAKE_CURRENT_LIST_DIR}/ErrorLogWriter.cpp)
  target_link_libraries(oplogsys_errorlog_writer PRIVATE trn_oplogsys)

  add_executable(oplogsys_errorlog_test ${CMAKE_CURRENT_LIST_DIR}/ErrorLogTest.cpp)
  target_link_libraries(oplogsys_errorlog_test PRIVATE trn_oplogsys_testsupport gtest_main)
  add_dependencies(oplogsys_errorlog_test oplogsys_errorlog_writer)
  trn_add_test(oplogsys_errorlog_test)
endif()
