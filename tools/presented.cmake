# trn_presented: the exact presented length of an item, shared by the tools
# (trnhost states Content-Length with it) and the decoder stand-in (which
# trims its output with it). Outside the product DLL; portable, with one
# Windows-only unit that opens a path.
add_library(trn_presented STATIC
  ${CMAKE_CURRENT_LIST_DIR}/presented/AacFrameTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presented/AudioItem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presented/EditList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presented/MediaTime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/presented/Presentation.cpp)
target_include_directories(trn_presented PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR}/presented)
target_link_libraries(trn_presented PUBLIC trn_mp4 trn_dsi trn_aac_lc)
if(TRN_WINDOWS)
  target_sources(trn_presented PRIVATE ${CMAKE_CURRENT_LIST_DIR}/presented/AudioItemFile.cpp)
  target_link_libraries(trn_presented PUBLIC trn_smf_stream)
endif()
