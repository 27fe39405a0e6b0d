# MP4 file library: the procedural box reader, its queries and CMp4File.
add_library(trn_mp4 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SmfResult.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfAbsStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfMovie.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfBoxHeaders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfBoxSampleTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfBoxSampleEntry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfBoxUserData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfBoxFragment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfEsDescriptor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmfQueries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Mp4File.cpp
)
# The metadata layer replaces the do-nothing property loader when present.
if(NOT EXISTS ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyLoader.cpp)
  target_sources(trn_mp4 PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Mp4PropertyLoaderStub.cpp)
endif()
target_include_directories(trn_mp4 PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(trn_mp4 PUBLIC trn_base trn_boost)
if(TRN_FUZZ)
  # Coverage feedback for the fuzz targets that link the library.
  target_compile_options(trn_mp4 PRIVATE -fsanitize=fuzzer-no-link)
endif()
