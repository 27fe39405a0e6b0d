# COM server frame: module object, class objects, registration, error
# boundary; and the DLL itself.
if(TRN_WINDOWS)
  target_sources(trn_product PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ClassFactory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ErrorBoundary.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FilterLoader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostObjects.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleGlobals.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleIds.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleObject.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ObjectMap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Registrar.cpp)
  target_link_libraries(trn_product PUBLIC trn_oplogsys trn_dsi)

  add_library(TrnM4aTranscoder SHARED
    ${CMAKE_CURRENT_LIST_DIR}/Exports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TrnM4aTranscoder.rc
    ${CMAKE_CURRENT_LIST_DIR}/TrnM4aTranscoder.def)
  set_target_properties(TrnM4aTranscoder PROPERTIES PREFIX "" OUTPUT_NAME TrnM4aTranscoder)
  target_link_libraries(TrnM4aTranscoder PRIVATE trn_product)
  target_link_options(TrnM4aTranscoder PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/TrnM4aTranscoder.rc APPEND PROPERTY
               OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/registry/TrnM4aTranscoder.rgs
                              ${CMAKE_CURRENT_LIST_DIR}/registry/M4aConverter.rgs
                              ${CMAKE_CURRENT_LIST_DIR}/registry/M4aConverterInfo.rgs)

  # The DLL as shipped: PE image, exports, imports from system DLLs only.
  add_test(NAME dll_image_check
           COMMAND sh ${PROJECT_SOURCE_DIR}/tests/module/check-dll-image.sh
                   $<TARGET_FILE:TrnM4aTranscoder> ${TRN_MINGW_PREFIX}-objdump)
endif()
