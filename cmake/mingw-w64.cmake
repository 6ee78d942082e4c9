# Cross build of Pelsbus.dll with Debian's mingw-w64 (scripts/windows-dll.sh):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake [-DPELKOR_MINGW_ARCH=i686] ...
# x86_64 by default; i686 gives the 32-bit DLL, whose exports are __stdcall.
# The posix thread model, so the tests have std::thread; programs link the
# runtime statically and run under Wine without DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT PELKOR_MINGW_ARCH)
  set(PELKOR_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${PELKOR_MINGW_ARCH})
set(triple ${PELKOR_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# ctest runs the test programs under Wine.
find_program(PELKOR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(PELKOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELKOR_WINE})
endif()
