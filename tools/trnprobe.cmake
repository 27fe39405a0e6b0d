# trnprobe: prints what the MP4 library makes of files, one JSON line each.
add_executable(trnprobe
  ${CMAKE_CURRENT_LIST_DIR}/trnprobe/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnprobe/ProbeSections.cpp)
target_include_directories(trnprobe PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trnprobe)
target_link_libraries(trnprobe PRIVATE trn_smf_stream trn_mp4 trn_dsi trn_tools_common)
if(TRN_WINDOWS)
  target_link_libraries(trnprobe PRIVATE shell32)
  # The module's MP4 audio parser, with the module logger behind it.
  target_sources(trnprobe PRIVATE ${CMAKE_CURRENT_LIST_DIR}/trnprobe/FacadeSection.cpp)
  target_link_libraries(trnprobe PRIVATE trn_product)
elseif(NOT TRN_SANITIZE AND NOT TRN_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Run once per file by scripts: binding the shared C++ runtime at start-up
  # costs more than the whole probe of a typical file.
  target_link_options(trnprobe PRIVATE -static-libstdc++ -static-libgcc)
endif()

# On the native tree, compare its output on the samples with ffprobe's record.
if(NOT TRN_WINDOWS AND TRN_BUILD_TESTS)
  add_test(NAME trnprobe_samples
           COMMAND ${CMAKE_COMMAND} -DTRNPROBE=$<TARGET_FILE:trnprobe>
                   -DSAMPLES=${PROJECT_SOURCE_DIR}/testdata
                   -P ${CMAKE_CURRENT_LIST_DIR}/trnprobe/CheckSamples.cmake)
endif()
