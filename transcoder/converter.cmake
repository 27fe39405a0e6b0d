# The transcoder object (Windows only).
if(TRN_WINDOWS)
  target_sources(trn_product PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/M4aConverter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DecodingGraph.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FormatList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VariantList.cpp)
  target_link_libraries(trn_product PUBLIC trn_pcmformat strmiids)
endif()
