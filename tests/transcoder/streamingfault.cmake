# Faults while streaming, driven as a host drives it (Windows only).
if(TRN_WINDOWS)
  add_executable(transcoder_streaming_fault_tests ${CMAKE_CURRENT_LIST_DIR}/StreamingFaultTests.cpp
                                                  ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                                                  ${PROJECT_SOURCE_DIR}/tests/host/HostTestMain.cpp
                                                  ${PROJECT_SOURCE_DIR}/tests/resources/ProcessCounts.cpp
                                                  ${PROJECT_SOURCE_DIR}/tests/resources/StreamSupport.cpp
                                                  ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(transcoder_streaming_fault_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(transcoder_streaming_fault_tests PRIVATE gtest trn_tools_common ole32 oleaut32 uuid)
  add_dependencies(transcoder_streaming_fault_tests TrnM4aTranscoder HostMediaObjects HostDlnaSink
                   KisoWaveFitterFilter trn_aac_decoder_filter)
  trn_add_test(transcoder_streaming_fault_tests $<TARGET_FILE:TrnM4aTranscoder> ${PROJECT_SOURCE_DIR}/testdata)
  set_tests_properties(transcoder_streaming_fault_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects;dlnasink"
                                                                   RESOURCE_LOCK registry)
endif()
