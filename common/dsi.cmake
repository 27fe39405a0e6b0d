# AAC decoder-specific information parser. Portable: built for every target.
add_library(trn_dsi STATIC
  ${CMAKE_CURRENT_LIST_DIR}/AacCodecInfo.h
  ${CMAKE_CURRENT_LIST_DIR}/DsiBitReader.h
  ${CMAKE_CURRENT_LIST_DIR}/DsiBitReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mp4DsiParser.h
  ${CMAKE_CURRENT_LIST_DIR}/Mp4DsiParser.cpp)
target_include_directories(trn_dsi PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(trn_dsi PUBLIC trn_base)
