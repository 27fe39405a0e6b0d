# The MP4 audio parser facade, linked from the product library (Windows only).
if(TRN_WINDOWS)
  add_executable(trn_parser_tests ${CMAKE_CURRENT_LIST_DIR}/TrnMp4ParserTest.cpp)
  target_include_directories(trn_parser_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/mp4)
  target_compile_definitions(trn_parser_tests PRIVATE
                             TRN_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/testdata")
  target_link_libraries(trn_parser_tests PRIVATE trn_product gtest_main)
  trn_add_test(trn_parser_tests)
endif()

# End to end: trnprobe.exe as the host of the module logger writes tarn.log.
if(TRN_WINDOWS)
  trn_add_wine_script(parser_probe_errorlog ${CMAKE_CURRENT_LIST_DIR}/probe-errorlog.sh
                      $<TARGET_FILE:trnprobe>
                      ${PROJECT_SOURCE_DIR}/config/tarn.middle.TrnM4aTranscoder.applog.xml)
endif()
