# Cross-building the Windows programs with Debian's mingw-w64 (posix threads, for std::thread).
# Tests run under Wine's 64-bit loader, called directly: the `wine` wrapper would pick the
# 32-bit loader whenever wine32 is installed, and some machines cannot run 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NB_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
