# The 32-bit Windows build: runs on 32-bit Windows, and on 64-bit Windows
# (ARM included) through the system's own 32-bit support.
set(JOV_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
