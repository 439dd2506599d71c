# Dependencies of the Windows cross build. Debian ships fmt, CLI11, Boost and nlohmann-json as headers
# for the build machine only; all four work from their headers alone (fmt with FMT_HEADER_ONLY). They are
# reached through a folder of links to just their header folders, never /usr/include itself, whose C
# library headers would shadow mingw-w64's own. GoogleTest is built from Debian's sources with the same
# cross compiler.
set(quizhost_cross_include ${CMAKE_BINARY_DIR}/cross-include)
file(MAKE_DIRECTORY ${quizhost_cross_include})
foreach(header_folder fmt CLI boost nlohmann)
  if(EXISTS /usr/include/${header_folder} AND NOT EXISTS ${quizhost_cross_include}/${header_folder})
    file(CREATE_LINK /usr/include/${header_folder} ${quizhost_cross_include}/${header_folder} SYMBOLIC)
  endif()
endforeach()
if(NOT EXISTS ${quizhost_cross_include}/fmt OR NOT EXISTS ${quizhost_cross_include}/CLI)
  message(FATAL_ERROR "quizhost: the Windows build needs the fmt and CLI11 headers (scripts/install-deps)")
endif()

add_library(fmt::fmt INTERFACE IMPORTED GLOBAL)
target_include_directories(fmt::fmt SYSTEM INTERFACE ${quizhost_cross_include})
target_compile_definitions(fmt::fmt INTERFACE FMT_HEADER_ONLY=1)

add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${quizhost_cross_include})

if(EXISTS ${quizhost_cross_include}/boost)
  add_library(Boost::headers INTERFACE IMPORTED GLOBAL)
  target_include_directories(Boost::headers SYSTEM INTERFACE ${quizhost_cross_include})
  target_link_libraries(Boost::headers INTERFACE ws2_32 mswsock)
  add_library(Boost::boost ALIAS Boost::headers)
endif()
if(EXISTS ${quizhost_cross_include}/nlohmann)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${quizhost_cross_include})
endif()

if(QUIZHOST_TESTS)
  set(quizhost_googletest_source /usr/src/googletest)
  if(NOT EXISTS ${quizhost_googletest_source}/CMakeLists.txt)
    message(FATAL_ERROR "quizhost: the Windows tests need GoogleTest's sources in ${quizhost_googletest_source} (package googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${quizhost_googletest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()
