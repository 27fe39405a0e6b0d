# Eight transcoders and eight info queriers at once in one process (Windows only).
if(TRN_WINDOWS)
  add_executable(load_tests ${CMAKE_CURRENT_LIST_DIR}/LoadTests.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/ProcessCounts.cpp
                            ${CMAKE_CURRENT_LIST_DIR}/StreamSupport.cpp
                            ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                            ${PROJECT_SOURCE_DIR}/tests/host/HostTestMain.cpp
                            ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(load_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(load_tests PRIVATE gtest trn_tools_common ole32 oleaut32 uuid)
  add_dependencies(load_tests TrnM4aTranscoder HostMediaObjects HostDlnaSink KisoWaveFitterFilter
                   trn_aac_decoder_filter)
  trn_add_test(load_tests $<TARGET_FILE:TrnM4aTranscoder> ${PROJECT_SOURCE_DIR}/testdata)
  set_tests_properties(load_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects;dlnasink"
                                             RESOURCE_LOCK registry)
endif()
