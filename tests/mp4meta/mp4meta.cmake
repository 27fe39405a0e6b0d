# Metadata property tests: tables, text codecs, property classes and loading.
if(TARGET trn_mp4)
  set(_trn_mp4meta_lib trn_mp4)
else()
  set(_trn_mp4meta_lib trn_mp4meta)
endif()
add_executable(trn_mp4meta_tests
    ${CMAKE_CURRENT_LIST_DIR}/PropertyTableTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PropertyTextTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Property3gppTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PropertyId3v2Test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PropertyStoreTest.cpp)
if(TARGET trn_mp4)
  target_sources(trn_mp4meta_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/FileMetadataTest.cpp)
endif()
target_link_libraries(trn_mp4meta_tests PRIVATE ${_trn_mp4meta_lib} trn_boost gtest_main)
trn_add_test(trn_mp4meta_tests)
