# Checks that the SDK's layers include only downward and that its public headers include
# only public headers, and names every include that does not.
#   cmake -DSDK_DIR=<the sdk folder> -P layer_includes.cmake
# Exits with an error, one line per offending include (file:line: the include and why),
# when any runs up a layer or across to a layer beside it, or leads from a public header
# (include/tarn/<layer>/) to an internal one (<layer>/).

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/include_lines.cmake)

# The layer rule, lowest first. Folders in one entry ("a|b") stand side by side: each may
# include itself and the entries before it, never its neighbour. Above them all sit the
# decoder and the host, outside the SDK, and the umbrella header, include/tarn/tarn.hpp. A
# layer's public headers (include/tarn/<layer>/, included as "tarn/<layer>/<name>.hpp") are
# in that layer, like its internal ones (<layer>/, included as "<layer>/<name>.hpp").
set(levels runtime engine dataflow "recording|bases")
set(above_every_layer csi2ipl host)

if(NOT SDK_DIR OR NOT IS_DIRECTORY "${SDK_DIR}")
  message(FATAL_ERROR "layer_includes.cmake: SDK_DIR (the sdk folder) is not given or is not a folder")
endif()
get_filename_component(SDK_DIR "${SDK_DIR}" ABSOLUTE)

# Level of every folder: its position in `levels`.
set(layers "")
set(index 0)
foreach(entry IN LISTS levels)
  string(REPLACE "|" ";" entry "${entry}")
  foreach(layer IN LISTS entry)
    list(APPEND layers ${layer})
    set(level_of_${layer} ${index})
  endforeach()
  math(EXPR index "${index} + 1")
endforeach()
set(top_level ${index})
foreach(name IN LISTS above_every_layer)
  set(level_of_${name} ${top_level})
endforeach()
list(JOIN levels " <- " rule)
list(JOIN above_every_layer ", " top)
string(REPLACE "|" ", " rule "${rule} <- ${top}")

# The layer an include names, "" when it is none of ours (a system or library header), and
# whether it is a public header. `path` is the included name, `folder` the absolute folder
# of the including file. The layer is "include" for the umbrella header, and "<same>" for a
# file beside the including one (of its layer, public when that one is).
function(included_folder path folder out public_out)
  set(result "")
  set(public FALSE)
  if(path MATCHES "^\\.\\.?/")
    # Relative to the including file: whatever sdk folder it lands in.
    get_filename_component(target "${folder}/${path}" ABSOLUTE)
    file(RELATIVE_PATH inside "${SDK_DIR}" "${target}")
    if(inside STREQUAL "include/tarn/tarn.hpp")
      set(result include)
    elseif(inside MATCHES "^include/tarn/([^/.][^/]*)/")
      set(result "${CMAKE_MATCH_1}")
      set(public TRUE)
    elseif(inside MATCHES "^([^/.][^/]*)/")
      set(result "${CMAKE_MATCH_1}")
    endif()
  elseif(path STREQUAL "tarn/tarn.hpp")
    set(result include)
  elseif(path MATCHES "^tarn/([^/]+)/")
    set(result "${CMAKE_MATCH_1}")
    set(public TRUE)
  elseif(path MATCHES "^([^/]+)/")
    set(result "${CMAKE_MATCH_1}")
  elseif(EXISTS "${folder}/${path}")
    set(result "<same>")
  endif()
  set(${out} "${result}" PARENT_SCOPE)
  set(${public_out} ${public} PARENT_SCOPE)
endfunction()

set(offences "")
foreach(layer IN LISTS layers)
  # The layer's internal files, then its public headers.
  foreach(place "${layer}" "include/tarn/${layer}")
    set(from_public FALSE)
    if(place MATCHES "^include/")
      set(from_public TRUE)
    endif()
    file(GLOB_RECURSE sources LIST_DIRECTORIES false "${SDK_DIR}/${place}/*")
    list(SORT sources)
    foreach(source IN LISTS sources)
      if(NOT source MATCHES "\\.(hpp|h|cpp|cc|inl|ipp)$")
        continue()
      endif()
      get_filename_component(folder "${source}" DIRECTORY)
      file(RELATIVE_PATH shown "${SDK_DIR}/.." "${source}")
      tarn_include_lines("${source}" includes)
      foreach(entry IN LISTS includes)
        string(REGEX MATCH "^([0-9]+)\\|([^|]*)\\|(.*)$" fields "${entry}")
        set(number "${CMAKE_MATCH_1}")
        set(path "${CMAKE_MATCH_2}")
        set(line "${CMAKE_MATCH_3}")
        included_folder("${path}" "${folder}" target public)
        if(target STREQUAL "<same>")
          continue()
        endif()
        if(target STREQUAL include)
          set(why "the umbrella header sits above every layer")
        elseif(target STREQUAL "" OR NOT DEFINED level_of_${target})
          continue()
        elseif(level_of_${target} GREATER level_of_${layer})
          set(why "${layer} may not include ${target}, a layer above it")
        elseif(level_of_${target} EQUAL level_of_${layer} AND NOT target STREQUAL layer)
          set(why "${layer} may not include ${target}, a layer beside it")
        elseif(from_public AND NOT public)
          set(why "a public header may include only public headers, and ${target}/ holds internal ones")
        else()
          continue()
        endif()
        list(APPEND offences "${shown}:${number}: ${line}: ${why}")
      endforeach()
    endforeach()
  endforeach()
endforeach()

tarn_stop_on_offences("${offences}" "include(s) above run against the layers, which include only downward (${rule}), or lead from a public header to an internal one")
