# MP4 library tests: reader status flags, queries, samples and the file stream.
add_executable(trn_mp4_tests
  ${CMAKE_CURRENT_LIST_DIR}/Mp4ReaderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mp4QueriesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mp4SamplesTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfAbsStreamImplTest.cpp)
target_include_directories(trn_mp4_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(trn_mp4_tests PRIVATE TRN_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/testdata")
target_link_libraries(trn_mp4_tests PRIVATE trn_mp4 trn_smf_stream gtest_main)
trn_add_test(trn_mp4_tests)

# libFuzzer target over CMp4File::Initialize (clang only).
if(TRN_FUZZ)
  add_executable(trn_mp4_fuzz ${CMAKE_CURRENT_LIST_DIR}/Mp4FileFuzz.cpp)
  target_include_directories(trn_mp4_fuzz PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_compile_options(trn_mp4_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(trn_mp4_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(trn_mp4_fuzz PRIVATE trn_mp4)
endif()
