# Linear PCM format descriptors ("audio/L16;rate=...;channels=..."). Portable.
add_library(trn_pcmformat STATIC
  ${CMAKE_CURRENT_LIST_DIR}/PcmFormatDescriptor.h
  ${CMAKE_CURRENT_LIST_DIR}/PcmFormatDescriptor.cpp)
target_include_directories(trn_pcmformat PUBLIC ${PROJECT_SOURCE_DIR})
