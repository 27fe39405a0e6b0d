# Metadata properties: 3GPP user data and ID3v2 frames.
set(TRN_MP4META_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Mp4Property.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4Property3gpp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyId3v2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyText.cpp)

if(TARGET trn_mp4)
  target_sources(trn_mp4 PRIVATE ${TRN_MP4META_SOURCES})
  target_include_directories(trn_mp4 PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_mp4 PUBLIC trn_boost)
  set(TRN_MP4META_LIBRARY trn_mp4)
else()
  # Stands alone until the library core joins it.
  add_library(trn_mp4meta STATIC ${TRN_MP4META_SOURCES})
  target_include_directories(trn_mp4meta PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_mp4meta PUBLIC trn_boost)
  set(TRN_MP4META_LIBRARY trn_mp4meta)
endif()
