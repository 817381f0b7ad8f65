# What both Windows toolchains share, for the MinGW-w64 triple QVL_MINGW set before including it.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model gives the C++ runtime its std::mutex; it is linked in statically.
set(CMAKE_C_COMPILER ${QVL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QVL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QVL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Only system DLLs at run time: a copy of an executable alone starts on a clean Windows.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
