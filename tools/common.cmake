# Units the tools share: UTF-8 and JSON output (portable), and this process's
# thread and handle counts (Windows).
add_library(trn_tools_common STATIC
  ${CMAKE_CURRENT_LIST_DIR}/common/Utf8.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/Json.cpp)
target_include_directories(trn_tools_common PUBLIC ${PROJECT_SOURCE_DIR})
if(TRN_WINDOWS)
  target_sources(trn_tools_common PRIVATE ${CMAKE_CURRENT_LIST_DIR}/common/ProcessCounts.cpp)
endif()
