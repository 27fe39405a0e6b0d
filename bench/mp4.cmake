# Figures for opening MP4 files (run by hand: build/native/bench/trn_mp4_bench
# testdata/*.mp4); not part of the test suite.
if(NOT TRN_WINDOWS)
  add_executable(trn_mp4_bench ${CMAKE_CURRENT_LIST_DIR}/Mp4OpenBench.cpp)
  target_include_directories(trn_mp4_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_mp4_bench PRIVATE trn_mp4)
endif()
