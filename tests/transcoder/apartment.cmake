# The host's sink living in the host's main apartment while other threads
# build graphs (Windows only). It changes the sink's registration while it
# runs, and ends its process with a failure should a call get stuck.
if(TRN_WINDOWS)
  add_executable(transcoder_apartment_tests ${CMAKE_CURRENT_LIST_DIR}/ApartmentTests.cpp
                                            ${CMAKE_CURRENT_LIST_DIR}/SinkRegistration.cpp
                                            ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                                            ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(transcoder_apartment_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(transcoder_apartment_tests PRIVATE gtest ole32 oleaut32 uuid user32)
  add_dependencies(transcoder_apartment_tests TrnM4aTranscoder HostMediaObjects HostDlnaSink KisoWaveFitterFilter
                   trn_aac_decoder_filter)
  trn_add_test(transcoder_apartment_tests $<TARGET_FILE:TrnM4aTranscoder> ${PROJECT_SOURCE_DIR}/testdata)
  set_tests_properties(transcoder_apartment_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects;dlnasink"
                                                             RESOURCE_LOCK registry)
endif()
