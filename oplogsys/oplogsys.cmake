# The logging library: log core, configuration, output back-ends, error log.
if(TRN_WINDOWS)
  add_library(trn_oplogsys STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ErrorLogOutput.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FactoryBase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileOutput.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Log.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LogSysInfo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LogSysInfoFromXML.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModuleLogger.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Mutex.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NullOutput.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OdsOutput.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OutputLogSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Win32Util.cpp)
  # Users include "oplogsys/..."; the short names stay private to the library.
  target_include_directories(trn_oplogsys PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(trn_oplogsys PUBLIC trn_base ole32 oleaut32 shlwapi shell32 uuid)
endif()
