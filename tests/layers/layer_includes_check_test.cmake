# Runs the layer check over a small tree of its own, so that a check which finds nothing
# cannot pass for one that finds everything: each way of writing an include that runs
# against the layers must be named with its file and line, and no include that keeps to
# them may be.
#   cmake -DCHECK=<layer_includes.cmake> -DWORK=<scratch folder> -P layer_includes_check_test.cmake

cmake_minimum_required(VERSION 3.25)

if(NOT CHECK OR NOT WORK)
  message(FATAL_ERROR "layer_includes_check_test.cmake: CHECK and WORK must be given")
endif()
file(REMOVE_RECURSE "${WORK}")
set(sdk "${WORK}/sdk")

# file|content|the line the check must name (none for a file it must leave alone); `~`
# stands for a line break.
set(cases
  "engine/up.hpp|#include \"dataflow/fast_io.hpp\"|sdk/engine/up.hpp:1:"
  "dataflow/angle.cpp|#include <vector>~#include <recording/record_paths.hpp>|sdk/dataflow/angle.cpp:2:"
  "recording/beside.cpp|#include \"bases/image_operation_text.hpp\"|sdk/recording/beside.cpp:1:"
  "bases/beside.cpp|#include \"../recording/property_reading.hpp\"|sdk/bases/beside.cpp:1:"
  "runtime/umbrella.cpp|#include \"tarn/tarn.hpp\"|sdk/runtime/umbrella.cpp:1:"
  "runtime/outside.cpp|#include \"csi2ipl/csi2ipl_component.hpp\"|sdk/runtime/outside.cpp:1:"
  "dataflow/down.cpp|#include \"engine/kernel.hpp\"~#include \"runtime/ascii_case.hpp\"~#include \"down.hpp\"~#include <sys/types.h>"
  "dataflow/down.hpp|#include \"../engine/kernel.hpp\""
  "bases/down.cpp|#include \"dataflow/fast_io.hpp\"~#include \"bases/down.hpp\"~#include \"pipelines/generated.h\""
  "recording/down.cpp|#include \"dataflow/output_buffers.hpp\"~#include \"engine/kernel_pointer.hpp\""
  # Public headers (include/tarn/<layer>/) are in their layer, and include only public ones.
  "engine/up_public.cpp|#include \"tarn/dataflow/module.hpp\"|sdk/engine/up_public.cpp:1:"
  "include/tarn/engine/up.hpp|#include \"tarn/dataflow/module.hpp\"|sdk/include/tarn/engine/up.hpp:1:"
  "include/tarn/bases/beside.hpp|#include \"tarn/recording/recorder.hpp\"|sdk/include/tarn/bases/beside.hpp:1:"
  "include/tarn/runtime/umbrella.hpp|#include \"tarn/tarn.hpp\"|sdk/include/tarn/runtime/umbrella.hpp:1:"
  "include/tarn/dataflow/leak.hpp|#include \"tarn/engine/event.hpp\"~#include \"dataflow/fast_io.hpp\"|sdk/include/tarn/dataflow/leak.hpp:2:"
  "include/tarn/engine/leak.hpp|#include \"runtime/ascii_case.hpp\"|sdk/include/tarn/engine/leak.hpp:1:"
  "include/tarn/recording/leak.hpp|#include \"../../../dataflow/fast_io.hpp\"|sdk/include/tarn/recording/leak.hpp:1:"
  "include/tarn/dataflow/down.hpp|#include \"tarn/engine/event.hpp\"~#include \"tarn/dataflow/io_element.hpp\"~#include \"leak.hpp\"~#include <vector>"
  "include/tarn/bases/down.hpp|#include \"../dataflow/down.hpp\"~#include \"tarn/bases/beside.hpp\""
  "dataflow/down_public.cpp|#include \"tarn/dataflow/module.hpp\"~#include \"dataflow/fast_io.hpp\"~#include \"tarn/runtime/list.hpp\"")
file(WRITE "${sdk}/include/tarn/tarn.hpp" "#pragma once\n")
# Semicolons, brackets and continued lines before an include must not move its line number.
file(WRITE "${sdk}/engine/counted.cpp" "int a[2]; // [ \\\n#define X(a) a; \\\n\n  #  include \"dataflow/io_monitor_implementation.hpp\"\n")

set(expected "sdk/engine/counted.cpp:4:")
set(untouched "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 content)
  list(LENGTH fields count)
  string(REPLACE "~" "\n" content "${content}")
  file(WRITE "${sdk}/${name}" "${content}\n")
  if(count GREATER 2)
    list(GET fields 2 line)
  else()
    set(line "")
  endif()
  if(line STREQUAL "")
    list(APPEND untouched "sdk/${name}:")
  else()
    list(APPEND expected "${line}")
  endif()
endforeach()

execute_process(COMMAND "${CMAKE_COMMAND}" -DSDK_DIR=${sdk} -P "${CHECK}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(failures "")
if(status EQUAL 0)
  list(APPEND failures "the check passed a tree with includes against the layers")
endif()
foreach(line IN LISTS expected)
  string(FIND "${output}" "${line} " at)
  if(at EQUAL -1)
    list(APPEND failures "not named: ${line}")
  endif()
endforeach()
foreach(file IN LISTS untouched)
  string(FIND "${output}" "${file}" at)
  if(NOT at EQUAL -1)
    list(APPEND failures "named though it keeps to the layers: ${file}")
  endif()
endforeach()
if(failures)
  list(JOIN failures "\n  " report)
  message(FATAL_ERROR "The layer check went wrong:\n  ${report}\nIts output:\n${output}")
endif()
