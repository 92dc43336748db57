# Include-direction check: every project header a file includes must come from the file's own
# layer or one below it. Layers, top-down:
#
#   tools/         command-line programs and the synthetic eye
#   interface/     facades, presets, the umbrella header
#   engines/*      segmentation, dewarping, map ... engines (one engine may not include another)
#   engines/base/  the engine base class and its toolbox
#   common/        numerics and image-processing library
#   platform/      primitives under vendor-style names, solver bindings
#   core/          the error type and the parameter records: a leaf every layer may include
#
# Usage: cmake -DROOT=<tree> -P CheckLayers.cmake. Prints every upward include and fails when there
# is one. Tests, benchmarks and the consumer project are not layers and are not checked.
if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers: pass -DROOT=<source tree>")
endif()

# Rank of the layer a path (relative to ROOT) belongs to, or -1 when it is in none.
function(talvex_layer_rank path out)
  if(path MATCHES "^core/")
    set(rank 0)
  elseif(path MATCHES "^platform/")
    set(rank 1)
  elseif(path MATCHES "^common/")
    set(rank 2)
  elseif(path MATCHES "^engines/base/")
    set(rank 3)
  elseif(path MATCHES "^engines/")
    set(rank 4)
  elseif(path MATCHES "^interface/")
    set(rank 5)
  elseif(path MATCHES "^tools/")
    set(rank 6)
  else()
    set(rank -1)
  endif()
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

# The engine folder of a path under engines/ (empty for others).
function(talvex_engine_of path out)
  set(engine "")
  if(path MATCHES "^engines/([^/]+)/")
    set(engine ${CMAKE_MATCH_1})
  endif()
  set(${out} "${engine}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.h ${ROOT}/*.cpp)
set(violations 0)
foreach(file ${sources})
  talvex_layer_rank(${file} rank)
  if(rank LESS 0)
    continue()
  endif()
  talvex_engine_of(${file} engine)
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    talvex_layer_rank(${included} includedRank)
    if(includedRank LESS 0)
      continue()
    endif()
    talvex_engine_of(${included} includedEngine)
    set(upward FALSE)
    if(includedRank GREATER rank AND NOT includedRank EQUAL 0)
      set(upward TRUE)
    elseif(rank EQUAL 4 AND includedRank EQUAL 4 AND NOT engine STREQUAL includedEngine)
      set(upward TRUE)
    endif()
    if(upward)
      message(STATUS "upward include: ${file} -> ${included}")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) from a layer above the including file's own")
endif()
message(STATUS "Include directions: ${ROOT} reads top-down")
