add_executable(trn_dsi_tests
  ${CMAKE_CURRENT_LIST_DIR}/DsiBitReaderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mp4DsiParserTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TraceHookTest.cpp)
target_link_libraries(trn_dsi_tests PRIVATE trn_dsi gtest_main)
trn_add_test(trn_dsi_tests)

# Fuzzing needs clang's libFuzzer; it runs by hand, not under CTest.
if(TRN_FUZZ AND NOT TRN_WINDOWS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The parser sources are compiled in so that they carry coverage guidance.
  add_executable(trn_dsi_fuzz
    ${CMAKE_CURRENT_LIST_DIR}/Mp4DsiParserFuzz.cpp
    ${PROJECT_SOURCE_DIR}/common/DsiBitReader.cpp
    ${PROJECT_SOURCE_DIR}/common/Mp4DsiParser.cpp
    ${PROJECT_SOURCE_DIR}/base/TraceHook.cpp)
  target_include_directories(trn_dsi_fuzz PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(trn_dsi_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(trn_dsi_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
