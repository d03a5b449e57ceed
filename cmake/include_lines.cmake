# What the include checks (umbrella_includes.cmake, tests/layers/layer_includes.cmake) share:
# reading the include lines of a source file, and stopping with one line per offence.

# The include lines of `file`, one list entry each: "<line number>|<included name>|<line>".
# One list entry a line: the list separator, the brackets (which hold a list's separators
# back) and the backslash (which escapes one) are masked first; an include line keeps its
# meaning without them, and every line keeps its number.
function(tarn_include_lines file out)
  file(READ "${file}" content)
  string(REGEX REPLACE "[][;]" "_" content "${content}")
  string(REPLACE "\\" "_" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(result "")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">]")
      set(name "${CMAKE_MATCH_1}")
      string(STRIP "${line}" line)
      list(APPEND result "${number}|${name}|${line}")
    endif()
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Stops when there are `offences`: each on a line of its own (unwrapped, so that
# "file:line:" reads as a place in an editor), then the count and `summary`.
function(tarn_stop_on_offences offences summary)
  if(NOT offences)
    return()
  endif()
  foreach(offence IN LISTS offences)
    message(NOTICE "${offence}")
  endforeach()
  list(LENGTH offences count)
  message(FATAL_ERROR "${count} ${summary}")
endfunction()
