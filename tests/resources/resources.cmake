# Threads and handles over many transcodings in one process, against a bare
# platform graph doing the same Render (Windows only).
if(TRN_WINDOWS)
  add_executable(resource_tests ${CMAKE_CURRENT_LIST_DIR}/ResourceTests.cpp
                                ${CMAKE_CURRENT_LIST_DIR}/ProcessCounts.cpp
                                ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                                ${PROJECT_SOURCE_DIR}/tests/host/HostTestMain.cpp
                                ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(resource_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(resource_tests PRIVATE gtest trn_tools_common strmiids ole32 oleaut32 uuid)
  add_dependencies(resource_tests TrnM4aTranscoder HostMediaObjects HostDlnaSink KisoWaveFitterFilter
                   trn_aac_decoder_filter)
  trn_add_test(resource_tests $<TARGET_FILE:TrnM4aTranscoder> ${PROJECT_SOURCE_DIR}/testdata)
  # A thousand graphs take minutes under Wine on a loaded machine.
  set_tests_properties(resource_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects;dlnasink"
                                                 RESOURCE_LOCK registry TIMEOUT 3600)
endif()
