# Checks that the umbrella header, tarn/tarn.hpp, includes every public header and nothing
# else, and names each one that is missing from it or that it should not include.
#   include() it with INCLUDE_DIR set to the SDK's public include folder (sdk/include), as
#   sdk/CMakeLists.txt does at configure time, or run it on its own:
#   cmake -DINCLUDE_DIR=<the include folder> -P umbrella_includes.cmake
# Stops with an error, one line per header, when the two lists differ.

# The policies of the CMake it is written for, in either use, and only here.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/include_lines.cmake)

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

  # The umbrella's includes.
  tarn_include_lines("${umbrella}" includes)
  set(offences "")
  set(included "")
  foreach(entry IN LISTS includes)
    string(REGEX MATCH "^([0-9]+)\\|([^|]*)\\|" fields "${entry}")
    set(number "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
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

  tarn_stop_on_offences("${offences}" "line(s) above: the umbrella header must include every public header (${include_dir}/tarn/<layer>/*.hpp) and nothing else")
endfunction()

if(NOT INCLUDE_DIR OR NOT IS_DIRECTORY "${INCLUDE_DIR}")
  message(FATAL_ERROR "umbrella_includes.cmake: INCLUDE_DIR (the public include folder) is not given or is not a folder")
endif()
tarn_check_umbrella_includes("${INCLUDE_DIR}")
cmake_policy(POP)
