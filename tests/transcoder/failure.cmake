# The transcoder's failures, driven as a host drives it (Windows only).
if(TRN_WINDOWS)
  add_executable(transcoder_failure_tests ${CMAKE_CURRENT_LIST_DIR}/TranscoderFailureTests.cpp
                                          ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                                          ${PROJECT_SOURCE_DIR}/tests/host/HostTestMain.cpp
                                          ${PROJECT_SOURCE_DIR}/tests/resources/ProcessCounts.cpp
                                          ${CMAKE_CURRENT_LIST_DIR}/SinkRegistration.cpp
                                          ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(transcoder_failure_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(transcoder_failure_tests PRIVATE gtest trn_tools_common ole32 oleaut32 uuid)
  add_dependencies(transcoder_failure_tests TrnM4aTranscoder HostMediaObjects HostDlnaSink KisoWaveFitterFilter
                   trn_aac_decoder_filter)
  trn_add_test(transcoder_failure_tests $<TARGET_FILE:TrnM4aTranscoder> ${PROJECT_SOURCE_DIR}/testdata)
  set_tests_properties(transcoder_failure_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects;dlnasink"
                                                           RESOURCE_LOCK registry)
endif()
