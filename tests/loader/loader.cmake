# The private filter loader against the stand-in filter DLLs built beside the
# server (Windows only; linked from the product library).
if(TRN_WINDOWS)
  add_executable(loader_tests ${CMAKE_CURRENT_LIST_DIR}/FilterLoaderTests.cpp
                              ${PROJECT_SOURCE_DIR}/tests/module/AllocationFault.cpp)
  target_link_libraries(loader_tests PRIVATE trn_product gtest strmiids)
  add_dependencies(loader_tests TrnM4aTranscoder KisoWaveFitterFilter trn_aac_decoder_filter)
  trn_add_test(loader_tests $<TARGET_FILE:TrnM4aTranscoder>)
endif()
