# The wave fitter's resampler, portable: built and run on both targets.
add_executable(wavefitter_resampler_tests ${CMAKE_CURRENT_LIST_DIR}/ResamplerTest.cpp)
target_link_libraries(wavefitter_resampler_tests PRIVATE trn_resampler gtest_main)
trn_add_test(wavefitter_resampler_tests)
