# MP4 audio parser facade over the MP4 library (Windows only).
if(TRN_WINDOWS)
  target_sources(trn_product PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ITrnMp4Parser.h
    ${CMAKE_CURRENT_LIST_DIR}/TrnMp4ParserImpl.h
    ${CMAKE_CURRENT_LIST_DIR}/TrnMp4ParserImpl.cpp)
  target_link_libraries(trn_product PUBLIC trn_smf_stream trn_mp4)
endif()
