# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the POSIX threading
# flavour, which std::thread and std::mutex need). The programs are linked statically:
# they need no MinGW runtime DLL beside them. Test programs run under Wine when it is
# installed, so ctest works in the build folder as it does on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRIC_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRIC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRIC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRIC_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(TAVRIC_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAVRIC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIC_WINE})
endif()
