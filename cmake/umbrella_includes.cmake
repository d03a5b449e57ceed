# Checks that the umbrella header, tarn/tarn.hpp, includes every public header and nothing
# else, and names each one that is missing from it or that it should not include.
#   include() it with INCLUDE_DIR set to the SDK's public include folder (sdk/include), as
#   sdk/CMakeLists.txt does at configure time, or run it on its own:
#   cmake -DINCLUDE_DIR=<the include folder> -P umbrella_includes.cmake
# Stops with an error, one line per header, when the two lists differ.

# The policies of the CMake it is written for, in either use, and only here.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)

function(tarn_check_umbrella_includes include_dir)
  set(umbrella "${include_dir}/tarn/tarn.hpp")
  if(NOT EXISTS "${umbrella}")
    message(FATAL_ERROR "The umbrella header ${umbrella} is missing")
  endif()

  # Every file of the public folder but the umbrella is a public header, included by its
  # path below the folder.
  file(GLOB_RECURSE files LIST_DIRECTORIES false "${include_dir}/*")
  set(public "")
  foreach(file IN LISTS files)
    file(RELATIVE_PATH name "${include_dir}" "${file}")
    if(NOT name STREQUAL "tarn/tarn.hpp")
      list(APPEND public "${name}")
    endif()
  endforeach()

  # The umbrella's includes, with their lines. One list entry a line: the list separator, the
  # brackets and the backslash are masked first; an include line keeps its meaning without
  # them.
  file(READ "${umbrella}" content)
  string(REGEX REPLACE "[][;]" "_" content "${content}")
  string(REPLACE "\\" "_" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  set(offences "")
  set(included "")
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">]")
      continue()
    endif()
    set(name "${CMAKE_MATCH_1}")
    if(NOT name IN_LIST public)
      list(APPEND offences "tarn/tarn.hpp:${number}: includes ${name}, which is not a public header of ${include_dir}")
    elseif(name IN_LIST included)
      list(APPEND offences "tarn/tarn.hpp:${number}: includes ${name} a second time")
    else()
      list(APPEND included "${name}")
    endif()
  endforeach()
  list(SORT public)
  foreach(name IN LISTS public)
    if(NOT name IN_LIST included)
      list(APPEND offences "tarn/tarn.hpp: does not include the public header ${name}")
    endif()
  endforeach()

  if(offences)
    foreach(offence IN LISTS offences)
      message(NOTICE "${offence}")
    endforeach()
    list(LENGTH offences count)
    message(FATAL_ERROR "${count} line(s) above: the umbrella header must include every public header "
                        "(${include_dir}/tarn/<layer>/*.hpp) and nothing else")
  endif()
endfunction()

if(NOT INCLUDE_DIR OR NOT IS_DIRECTORY "${INCLUDE_DIR}")
  message(FATAL_ERROR "umbrella_includes.cmake: INCLUDE_DIR (the public include folder) is not given or is not a folder")
endif()
tarn_check_umbrella_includes("${INCLUDE_DIR}")
cmake_policy(POP)
