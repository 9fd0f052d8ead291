# Cross build for 64-bit Windows with Debian's mingw-w64; the posix thread model gives
# std::thread and std::mutex. Tests run under wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZENPO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZENPO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZENPO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZENPO_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZENPO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One file that runs on a bare Windows: no libstdc++, libgcc or winpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(ZENPO_WINE NAMES wine64 wine)
if(ZENPO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENPO_WINE})
endif()
