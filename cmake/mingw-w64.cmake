# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX thread model, which
# std::thread and std::async need). The dependencies built for Windows by scripts/build-windows
# lie under TARVIK_WINDOWS_DEPS; nothing of the Linux system is searched for libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVIK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVIK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVIK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVIK_MINGW}-windres)

set(TARVIK_WINDOWS_DEPS "" CACHE PATH "Prefix of the libraries built for Windows")
set(CMAKE_FIND_ROOT_PATH /usr/${TARVIK_MINGW} ${TARVIK_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static archives first, so that the programs and the DLL need no DLL of ours or of the
# compiler's at run time.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a .lib)

# Wine runs the test programs (cmake/windows.cmake).
find_program(TARVIK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
