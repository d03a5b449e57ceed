# tarn_add_package: a component package the engine loads, built from an author's sources.
#
#   tarn_add_package(<name>
#                    SOURCES <file>...
#                    [LIBRARIES <target or library>...]
#                    [EXPORTS <symbol>...]
#                    [VERSION <text>]
#                    [DESCRIPTION <text>])
#
# Makes the target <name>, the file <name>.pck: a shared library of SOURCES linked with its
# own copy of the SDK (tarn_sdk) and LIBRARIES. SOURCES see the SDK's public headers alone
# ("tarn/tarn.hpp"), as tarn_sdk exports nothing else. It is complete in itself: compiled with
# hidden visibility, bound to itself (-Bsymbolic) and exporting nothing but the engine's two
# entry points (TARNPckInit, TARNGetModulesDefStruct) and the EXPORTS names, so that two
# packages loaded in one process never bind to each other's symbols. EXPORTS may hold the
# wildcards of a linker version script ("mine_*"); a name the package lacks is ignored.
#
# After each link the package gets its information trailer, whose texts say
#   FILENAME=<name>.pck
#   VERSION=<VERSION>          default: the version of the enclosing project()
#   DESCRIPTION=<DESCRIPTION>  default: the description of the enclosing project()
# beside the texts below, which every package built here shares.

set(TARN_PACKAGE_TRAILER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/append_package_trailer.sh)

set(TARN_PACKAGE_OS "ubuntu1804")
set(TARN_PACKAGE_ARCH "x86_64")
set(TARN_PACKAGE_DATE "20221231")
set(TARN_PACKAGE_TARGET "tarnvel")
set(TARN_PACKAGE_GENID "Korvix")

function(tarn_add_package name)
  cmake_parse_arguments(ARG "" "VERSION;DESCRIPTION" "SOURCES;LIBRARIES;EXPORTS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tarn_add_package(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tarn_add_package(${name}): SOURCES names no file")
  endif()
  if(NOT DEFINED ARG_VERSION)
    set(ARG_VERSION "${PROJECT_VERSION}")
  endif()
  if(ARG_VERSION STREQUAL "")
    message(FATAL_ERROR "tarn_add_package(${name}): no VERSION given and the project() has none")
  endif()
  if(NOT DEFINED ARG_DESCRIPTION)
    set(ARG_DESCRIPTION "${PROJECT_DESCRIPTION}")
  endif()

  # The version script: written at configure time, rewritten only when the list changes,
  # so that a package relinks exactly when what it exports does.
  set(map "{\n  global:\n    TARNPckInit;\n    TARNGetModulesDefStruct;\n")
  foreach(symbol IN LISTS ARG_EXPORTS)
    string(APPEND map "    ${symbol};\n")
  endforeach()
  string(APPEND map "  local:\n    *;\n};\n")
  set(map_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports.map)
  file(CONFIGURE OUTPUT ${map_file} CONTENT "${map}")

  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ".pck"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${map_file})
  target_link_libraries(${name} PRIVATE tarn_sdk ${ARG_LIBRARIES})
  target_link_options(${name} PRIVATE
    "LINKER:-Bsymbolic"
    "LINKER:--version-script=${map_file}"
    # Nothing inside the package calls the engine's entry points, so without these the
    # linker would leave them in the SDK archive.
    "LINKER:--require-defined=TARNPckInit"
    "LINKER:--require-defined=TARNGetModulesDefStruct")

  # "SIG" is where the script puts the digest of the package as linked.
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND sh ${TARN_PACKAGE_TRAILER_SCRIPT} $<TARGET_FILE:${name}>
            "PACKAGE_INFO"
            "FILENAME=${name}.pck"
            "OS=${TARN_PACKAGE_OS}"
            "ARCH=${TARN_PACKAGE_ARCH}"
            "VERSION=${ARG_VERSION}"
            "DATE=${TARN_PACKAGE_DATE}"
            "TARGET=${TARN_PACKAGE_TARGET}"
            "SIG"
            "GENID=${TARN_PACKAGE_GENID}"
            "DESCRIPTION=${ARG_DESCRIPTION}"
    COMMENT "Appending the information trailer to ${name}.pck"
    VERBATIM)
endfunction()
