# AAC-LC decoding speed beside ffmpeg's (run by hand, a Release tree gives
# real figures: build/bench/bench/trn_aac_decode_bench); not a test.
if(NOT TRN_WINDOWS)
  add_executable(trn_aac_decode_bench ${CMAKE_CURRENT_LIST_DIR}/AacDecodeBench.cpp)
  target_compile_definitions(trn_aac_decode_bench PRIVATE TRN_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/testdata")
  target_link_libraries(trn_aac_decode_bench PRIVATE trn_aac_decoder_core trn_smf_stream)
endif()
