# Units the tools share: UTF-8 and JSON output (portable).
add_library(trn_tools_common STATIC
  ${CMAKE_CURRENT_LIST_DIR}/common/Utf8.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/Json.cpp)
target_include_directories(trn_tools_common PUBLIC ${PROJECT_SOURCE_DIR})
