# Transcoder figures under Wine, reached as a host reaches it (run by hand:
# cmake --build TREE --target trn_transcoder_bench_run); not part of the
# test suite.
if(TRN_WINDOWS)
  add_executable(trn_transcoder_bench ${CMAKE_CURRENT_LIST_DIR}/TranscoderBench.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                                      ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(trn_transcoder_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_transcoder_bench PRIVATE ole32 oleaut32 uuid)
  add_dependencies(trn_transcoder_bench TrnM4aTranscoder HostMediaObjects HostDlnaSink KisoWaveFitterFilter
                   trn_aac_decoder_filter)

  # Starts the tree's private prefix and registers the stand-in host classes
  # and sink as the test fixtures do; the benchmark registers the server.
  add_custom_target(trn_transcoder_bench_run
      COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh up ${CMAKE_BINARY_DIR}/wine-env.sh
      COMMAND sh ${PROJECT_SOURCE_DIR}/standins/hostobjects/register.sh ${CMAKE_BINARY_DIR}/wine-env.sh
              $<TARGET_FILE:HostMediaObjects>
      COMMAND sh ${PROJECT_SOURCE_DIR}/tests/dlnasink/register.sh ${CMAKE_BINARY_DIR}/wine-env.sh
              $<TARGET_FILE:HostDlnaSink>
      COMMAND ${CMAKE_COMMAND} -E env ${TRN_WINE_ENV}
              ${TRN_WINE} $<TARGET_FILE:trn_transcoder_bench> $<TARGET_FILE:TrnM4aTranscoder>
              ${PROJECT_SOURCE_DIR}/testdata
      DEPENDS trn_transcoder_bench
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      USES_TERMINAL
      VERBATIM)
endif()
