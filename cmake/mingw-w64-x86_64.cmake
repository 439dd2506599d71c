# Cross build for 64-bit Windows cabinets with Debian's mingw-w64 (cmake --preset windows-x64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(quizhost_mingw_triplet x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
