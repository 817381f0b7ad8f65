# Cross build for 32-bit Windows with MinGW-w64. Nothing 32-bit runs on the build machines, so
# this build makes the shipped executables only, and no tests run them.
set(QVL_MINGW i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
