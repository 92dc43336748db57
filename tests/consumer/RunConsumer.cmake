# Configures, builds and runs the consumer project (script mode).
#   MODE=find_package:     installs the build tree TALVEX_BUILD into WORK/prefix and finds it there.
#   MODE=add_subdirectory: adds the source tree TALVEX_SOURCE to the consumer's build.
function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
set(args -S ${CONSUMER_SRC} -B ${WORK}/build -G Ninja -DCMAKE_BUILD_TYPE=Release)
if(MODE STREQUAL "find_package")
  run(${CMAKE_COMMAND} --install ${TALVEX_BUILD} --prefix ${WORK}/prefix)
  # Only public headers are installed: no engine header, no primitive beyond the shared types.
  file(GLOB_RECURSE private_headers ${WORK}/prefix/include/talvex/engines/*.h
       ${WORK}/prefix/include/talvex/platform/*/*.h ${WORK}/prefix/include/talvex/tools/*.h)
  if(private_headers)
    message(FATAL_ERROR "private headers installed: ${private_headers}")
  endif()
  list(APPEND args -DCMAKE_PREFIX_PATH=${WORK}/prefix)
else()
  list(APPEND args -DTALVEX_SOURCE=${TALVEX_SOURCE})
endif()
run(${CMAKE_COMMAND} ${args})
run(${CMAKE_COMMAND} --build ${WORK}/build --parallel 2)
run(${WORK}/build/consumer)
