# trnhost: a command-line media server host; it reaches the server only
# through COM (CLSIDs and interfaces), never by linking it.
add_library(trnhost_portable STATIC
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Args.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Dlna.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Http.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Media.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/PlannedBody.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Planner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trnhost/Views.cpp)
target_include_directories(trnhost_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR}/trnhost)
target_link_libraries(trnhost_portable PUBLIC trn_tools_common trn_presented)

if(TRN_WINDOWS)
  add_executable(trnhost
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/main.cpp
    # The commands, one each.
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/FormatsCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/PropsCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/ScanCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/StreamCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/RegisterCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/ServeCommand.cpp
    # What they share.
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/BlockPump.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/CommandOutput.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Errors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Output.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/ScanPool.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Server.cpp
    # serve: the folder's items, the sockets, a connection and its session.
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Catalog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Connection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Net.cpp
    ${CMAKE_CURRENT_LIST_DIR}/trnhost/Session.cpp
    ${PROJECT_SOURCE_DIR}/module/ModuleIds.cpp)
  target_include_directories(trnhost PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(trnhost PRIVATE trnhost_portable trn_tools_common ole32 oleaut32 uuid ws2_32)
  target_link_options(trnhost PRIVATE -municode)
endif()
