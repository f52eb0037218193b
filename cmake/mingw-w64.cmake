# Cross-compiles the Windows build with Debian's mingw-w64 (posix threads
# flavour, needed for std::thread in GoogleTest) and runs what it builds under
# wine, so ctest treats the .exe tests like native ones. The 64-bit build by
# default; cmake/mingw-w64-i686.cmake picks the 32-bit one.
if(NOT DEFINED JOV_MINGW_TARGET)
  set(JOV_MINGW_TARGET x86_64-w64-mingw32)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${JOV_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JOV_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${JOV_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${JOV_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A 32-bit program gets a 32-bit wine prefix of its own: the two suites can
# then run one after the other without sharing a prefix or its server.
if(JOV_MINGW_TARGET MATCHES "^i686")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run --win32)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
endif()
