# Damaged sample files through the parser facade's library calls, and the
# smallest reproducers of fuzzing findings.
add_executable(trn_mp4_damage_tests
  ${CMAKE_CURRENT_LIST_DIR}/DamageTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FuzzFindingsTest.cpp)
target_include_directories(trn_mp4_damage_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(trn_mp4_damage_tests PRIVATE TRN_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/testdata")
target_link_libraries(trn_mp4_damage_tests PRIVATE trn_mp4 trn_dsi trn_aac_decoder_core gtest_main)
trn_add_test(trn_mp4_damage_tests)
