# Cross build for 64-bit Windows with Debian's mingw-w64 compiler, posix thread model
# (std::thread and std::mutex need it). Programs of the build machine (python3, the host
# imagegen) are searched on the build machine; libraries and headers only in the target root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TREVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TREVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TREVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TREVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TREVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in: the executables need no DLL beyond those of Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and test discovery run the cross-built programs under wine (see wine_run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh)
