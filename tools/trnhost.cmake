# trnhost: a command-line media server host; it reaches the server only
# through COM (CLSIDs and interfaces), never by linking it.
add_library(trnhost_portable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Args.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Http.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Media.cpp)
target_include_directories(trnhost_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR}/trnhost)

if(TRN_WINDOWS)
  add_executable(trnhost
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Errors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Output.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Server.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Catalog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Net.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Serve.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Session.cpp
    ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(trnhost PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trnhost PRIVATE trnhost_portable trn_tools_common ole32 oleaut32 uuid ws2_32)
  target_link_options(trnhost PRIVATE -municode)
endif()
