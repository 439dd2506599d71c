# Cross build for 32-bit Windows cabinets (cmake --preset windows-x86): a host that loads a cabinet's
# 32-bit tccomm.dll must be a 32-bit program itself.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(quizhost_mingw_triplet i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
