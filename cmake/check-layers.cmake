# Fails when an include in src/ points up the layers. Run as a test:
#   cmake -DSOURCE_DIR=<checkout> -P cmake/check-layers.cmake
#
# From the bottom up. A file may include its own layer and the layers below it; the subsystems are one
# layer, since each calls the procedures of the others it needs.
#   definitions.hpp   program-wide values, constants, run_time_error
#   basic/ swf/       the shared number and text rules; the Flash file format (read by the check,
#                     written as the shim the browser bridge serves)
#   platform/         the seams and their implementations, the only code that knows an operating system
#   host.hpp          the one context
#   records/          keyed record files, the error log
#   credit/ meters/ content/ scores/ recall/   the subsystems
#   forms/            the forms, the command table, start-up
#   player/           the movie players (nothing includes them but the programs)
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  get_filename_component(SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

set(rank_definitions 0)
set(rank_basic 1)
set(rank_swf 1)
set(rank_platform 2)
set(rank_host 3)
set(rank_records 4)
set(rank_credit 5)
set(rank_meters 5)
set(rank_content 5)
set(rank_scores 5)
set(rank_recall 5)
set(rank_forms 6)
set(rank_player 7)

# The layer of a path relative to src/: its first folder, or the header's own name at the top.
function(layer_of path out)
  if(path MATCHES "^([a-z_]+)/")
    set(name ${CMAKE_MATCH_1})
  elseif(path MATCHES "^([a-z_]+)\\.(hpp|cpp)$")
    set(name ${CMAKE_MATCH_1})
  else()
    set(name "")
  endif()
  set(${out} ${name} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.hpp
     ${SOURCE_DIR}/src/*.h)
set(failures "")
foreach(source ${sources})
  layer_of(${source} from)
  if(NOT DEFINED rank_${from})
    string(APPEND failures "\n  ${source}: in no layer (add its folder to cmake/check-layers.cmake)")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" target "${line}")
    if(NOT EXISTS ${SOURCE_DIR}/src/${target})
      continue()  # a file beside the includer, or generated
    endif()
    layer_of(${target} to)
    if(NOT DEFINED rank_${to})
      continue()
    endif()
    if(rank_${to} GREATER rank_${from})
      string(APPEND failures "\n  ${source} includes ${target}: ${from}/ may not include ${to}/, a layer above it")
    elseif(to STREQUAL "player" AND NOT from STREQUAL "player")
      string(APPEND failures "\n  ${source} includes ${target}: only the programs include a player")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "includes that point up the layers:${failures}")
endif()
message(STATUS "layers: every include in src/ points down")
