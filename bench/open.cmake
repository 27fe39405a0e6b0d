# The parser's open on generated reference files, and the tools that make and
# compare them (run by hand: bench/make-bench-files.sh, then
# bench/probe-compare.sh); not part of the test suite.
if(NOT TRN_WINDOWS)
  add_executable(trn_bench_mkfile ${CMAKE_CURRENT_LIST_DIR}/MakeBenchFile.cpp)
  target_include_directories(trn_bench_mkfile PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_bench_mkfile PRIVATE trn_dsi)

  add_executable(trn_open_bench ${CMAKE_CURRENT_LIST_DIR}/ParserOpenBench.cpp)
  target_link_libraries(trn_open_bench PRIVATE trn_smf_stream trn_mp4 trn_dsi)
endif()

if(NOT TRN_WINDOWS AND UNIX)
  add_executable(trn_bench_spawn ${CMAKE_CURRENT_LIST_DIR}/SpawnTimer.cpp)
endif()
