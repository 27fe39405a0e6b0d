# Calls per second of the info object under Wine, reached as a host reaches it
# (run by hand: bench/run-info-bench.sh TREE, or the trn_info_bench_run
# target); not part of the test suite.
if(TRN_WINDOWS)
  add_executable(trn_info_bench ${CMAKE_CURRENT_LIST_DIR}/InfoCallsBench.cpp
                                ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp
                                ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(trn_info_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trn_info_bench PRIVATE ole32 oleaut32 uuid)
  add_dependencies(trn_info_bench TrnM4aTranscoder HostMediaObjects)

  # The benchmark registers the server and the stand-in host classes itself.
  add_custom_target(trn_info_bench_run
      COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/run-info-bench.sh ${CMAKE_BINARY_DIR}
      DEPENDS trn_info_bench
      USES_TERMINAL
      VERBATIM)
endif()
