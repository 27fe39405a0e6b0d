# File stream adapter for the MP4 library.
add_library(trn_smf_stream STATIC ${CMAKE_CURRENT_LIST_DIR}/SmfAbsStreamImpl.cpp)
target_include_directories(trn_smf_stream PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(trn_smf_stream PUBLIC trn_mp4)
