# Metadata properties: 3GPP user data and ID3v2 frames.
set(TRN_MP4META_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Mp4Property.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4Property3gpp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyId3v2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyText.cpp)

if(TARGET trn_mp4)
  # Replaces the library's do-nothing loader (core.cmake drops its stub when
  # Mp4PropertyLoader.cpp exists).
  target_sources(trn_mp4 PRIVATE ${TRN_MP4META_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyLoader.cpp)
  target_include_directories(trn_mp4 PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_mp4 PUBLIC trn_boost)
else()
  # Stands alone while the library core is absent.
  add_library(trn_mp4meta STATIC ${TRN_MP4META_SOURCES})
  target_include_directories(trn_mp4meta PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_mp4meta PUBLIC trn_boost)
endif()
