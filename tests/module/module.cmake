# Tests of the COM server frame (Windows only).
if(TRN_WINDOWS)
  add_executable(module_dll_tests ${CMAKE_CURRENT_LIST_DIR}/DllTests.cpp
                                  ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_link_libraries(module_dll_tests PRIVATE gtest ole32 oleaut32 uuid version)
  target_include_directories(module_dll_tests PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(module_dll_tests TrnM4aTranscoder)
  trn_add_test(module_dll_tests $<TARGET_FILE:TrnM4aTranscoder>)
  # Registration writes the prefix's registry: keep it away from tests that
  # read the same keys.
  set_tests_properties(module_dll_tests PROPERTIES RESOURCE_LOCK registry)

  trn_add_wine_script(module_regsvr32 ${CMAKE_CURRENT_LIST_DIR}/regsvr32.sh
                      $<TARGET_FILE:TrnM4aTranscoder>)
  set_tests_properties(module_regsvr32 PROPERTIES RESOURCE_LOCK registry)
endif()

# The frame's inner workings, linked from the product library.
if(TRN_WINDOWS)
  add_executable(module_tests ${CMAKE_CURRENT_LIST_DIR}/BoundaryTests.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/CriticalSectionTests.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/ModuleObjectTests.cpp)
  target_link_libraries(module_tests PRIVATE trn_product gtest)
  trn_add_test(module_tests)
endif()

# A stand-in host executable and the error log it gets with the example
# configuration beside it.
if(TRN_WINDOWS AND EXISTS ${PROJECT_SOURCE_DIR}/config/tarn.middle.TrnM4aTranscoder.applog.xml)
  add_executable(trn_test_host ${CMAKE_CURRENT_LIST_DIR}/TestHost.cpp
                               ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(trn_test_host PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_test_host PRIVATE ole32 oleaut32 uuid)
  target_link_options(trn_test_host PRIVATE -municode)
  add_dependencies(trn_test_host TrnM4aTranscoder)
  trn_add_wine_script(module_host_error_log ${CMAKE_CURRENT_LIST_DIR}/host-error-log.sh
                      $<TARGET_FILE:TrnM4aTranscoder> $<TARGET_FILE:trn_test_host>
                      ${PROJECT_SOURCE_DIR}/config/tarn.middle.TrnM4aTranscoder.applog.xml)
endif()

# The platform pieces the test prefix must provide.
if(TRN_WINDOWS)
  add_executable(platform_tests ${CMAKE_CURRENT_LIST_DIR}/PlatformTests.cpp)
  target_include_directories(platform_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(platform_tests PRIVATE gtest strmiids ole32 uuid)
  trn_add_test(platform_tests)
endif()
