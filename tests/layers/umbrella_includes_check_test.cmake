# Runs the umbrella check over include folders of its own: one whose umbrella includes every
# public header passes, and one whose umbrella misses a header, includes an internal one and
# includes one twice fails, naming each.
#   cmake -DCHECK=<umbrella_includes.cmake> -DWORK=<scratch folder> -P umbrella_includes_check_test.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT CHECK OR NOT WORK)
  message(FATAL_ERROR "umbrella_includes_check_test.cmake: CHECK and WORK must be given")
endif()
file(REMOVE_RECURSE "${WORK}")

# An include folder with two public headers and the given umbrella; the check's output and
# whether it passed.
function(run_check name umbrella output_var status_var)
  set(include "${WORK}/${name}/include")
  file(WRITE "${include}/tarn/runtime/list.hpp" "#pragma once\n")
  file(WRITE "${include}/tarn/engine/event.hpp" "#pragma once\n#include \"tarn/runtime/list.hpp\"\n")
  file(WRITE "${include}/tarn/tarn.hpp" "${umbrella}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DINCLUDE_DIR=${include} -P "${CHECK}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${output_var} "${output}" PARENT_SCOPE)
  set(${status_var} "${status}" PARENT_SCOPE)
endfunction()

set(failures "")

run_check(whole "#pragma once\n\n#include \"tarn/runtime/list.hpp\"\n#include <tarn/engine/event.hpp>\n" output status)
if(NOT status EQUAL 0)
  list(APPEND failures "an umbrella that includes every public header was refused:\n${output}")
endif()

run_check(broken "#pragma once\n#include \"tarn/runtime/list.hpp\"\n#include \"dataflow/fast_io.hpp\"\n#include \"tarn/runtime/list.hpp\"\n"
          output status)
if(status EQUAL 0)
  list(APPEND failures "an umbrella that misses a public header and includes an internal one passed")
endif()
foreach(line "tarn/tarn.hpp: does not include the public header tarn/engine/event.hpp"
             "tarn/tarn.hpp:3: includes dataflow/fast_io.hpp, which is not a public header"
             "tarn/tarn.hpp:4: includes tarn/runtime/list.hpp a second time")
  string(FIND "${output}" "${line}" at)
  if(at EQUAL -1)
    list(APPEND failures "not named: ${line}")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "The umbrella check went wrong:\n  ${report}\nIts output:\n${output}")
endif()
