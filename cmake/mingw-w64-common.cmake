# What both Windows toolchains share; the including file sets quizhost_mingw_triplet first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model of Debian's mingw-w64: std::thread and std::mutex need it with GCC 12.
set(CMAKE_C_COMPILER ${quizhost_mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${quizhost_mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${quizhost_mingw_triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${quizhost_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A cabinet gets the executables and the DLL alone: no libstdc++, libgcc or winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine on this machine (ctest and test discovery use it).
find_program(QUIZHOST_WINE wine)
if(QUIZHOST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUIZHOST_WINE})
endif()
