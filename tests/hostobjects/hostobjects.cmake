# The stand-in host classes, created through the registry as the product
# creates them (Windows only).
if(TRN_WINDOWS)
  add_executable(hostobjects_tests ${CMAKE_CURRENT_LIST_DIR}/HostObjectsTest.cpp
                                   ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(hostobjects_tests PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(hostobjects_tests PRIVATE gtest_main ole32 oleaut32 uuid)
  add_dependencies(hostobjects_tests HostMediaObjects)
  trn_add_test(hostobjects_tests)
  set_tests_properties(hostobjects_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects")
endif()
