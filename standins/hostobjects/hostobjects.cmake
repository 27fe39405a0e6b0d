# Stand-in for the host's format and property classes: a self-registering
# in-process server of its own, never linked into the product.
if(TRN_WINDOWS)
  add_library(HostMediaObjects SHARED
    ${CMAKE_CURRENT_LIST_DIR}/Exports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostClassFactory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostClasses.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostFault.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostMediaFormat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostMediaProperty.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostModule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostRegistration.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostMediaObjects.def
    ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  set_target_properties(HostMediaObjects PROPERTIES PREFIX "" OUTPUT_NAME HostMediaObjects)
  target_include_directories(HostMediaObjects PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(HostMediaObjects PRIVATE ole32 oleaut32 uuid advapi32)
  target_link_options(HostMediaObjects PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)

  # Other Windows tests that create host objects require this fixture; the
  # registration stays in the private prefix for the rest of the run.
  if(TRN_BUILD_TESTS)
    trn_add_wine_script(hostobjects_register ${CMAKE_CURRENT_LIST_DIR}/register.sh
                        $<TARGET_FILE:HostMediaObjects>)
    set_tests_properties(hostobjects_register PROPERTIES
        FIXTURES_SETUP hostobjects RESOURCE_LOCK registry)
  endif()
endif()
