# Cross build for 64-bit Windows: the same sources as the product, built so that
# the tests can run under 64-bit Wine where 32-bit code cannot execute.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TRN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TRN_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
