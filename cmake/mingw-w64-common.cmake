# Shared by the mingw-w64 toolchain files: compilers, where the target's libraries live, and a
# static link so that every .exe runs with nothing beside it.
set(CMAKE_C_COMPILER ${NB_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NB_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${NB_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
