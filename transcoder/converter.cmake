# The transcoder object (Windows only).
if(TRN_WINDOWS)
  target_sources(trn_product PRIVATE ${CMAKE_CURRENT_LIST_DIR}/M4aConverter.cpp)
endif()
