# Format list arranging over the stand-in host format objects (Windows only).
if(TRN_WINDOWS)
  add_executable(trn_formatlist_tests ${CMAKE_CURRENT_LIST_DIR}/FormatListTest.cpp
                                      ${PROJECT_SOURCE_DIR}/tests/host/HostSupport.cpp)
  target_link_libraries(trn_formatlist_tests PRIVATE trn_product gtest)
  add_dependencies(trn_formatlist_tests HostMediaObjects)
  trn_add_test(trn_formatlist_tests)
  set_tests_properties(trn_formatlist_tests PROPERTIES FIXTURES_REQUIRED "wine;hostobjects")
endif()
