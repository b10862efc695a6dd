# Shared by the mingw-w64 toolchain files, which hold nothing but what any such file holds:
# compilers (posix threads, for std::thread), windres and where the target's files live. The
# project links the programs statically itself, and the presets name Wine as the emulator.
set(CMAKE_C_COMPILER ${NB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NB_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
