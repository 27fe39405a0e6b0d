# The sink and the wave fitter in a real platform graph under Wine. The sink
# is registered in the prefix first, as the host would have it.
if(TRN_WINDOWS)
  trn_add_wine_script(dlnasink_register ${CMAKE_CURRENT_LIST_DIR}/register.sh $<TARGET_FILE:HostDlnaSink>)
  set_tests_properties(dlnasink_register PROPERTIES FIXTURES_SETUP dlnasink RESOURCE_LOCK registry)

  add_executable(standins_graph_tests ${CMAKE_CURRENT_LIST_DIR}/GraphTest.cpp)
  target_link_libraries(standins_graph_tests PRIVATE trn_filterbase gtest)
  add_dependencies(standins_graph_tests HostDlnaSink KisoWaveFitterFilter)
  trn_add_test(standins_graph_tests $<TARGET_FILE:KisoWaveFitterFilter>)
  set_tests_properties(standins_graph_tests PROPERTIES FIXTURES_REQUIRED "wine;dlnasink")
endif()
