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
# beside the texts set in the function, which every package built with it shares.
#
# The function needs the SDK's target tarn_sdk: an author's project gets it, and this
# function, by adding the pixtract source tree first (docs/writing-a-component.md):
#   add_subdirectory(<pixtract source tree> pixtract)
# Everything it uses beside its arguments is its own (its folder, its texts), not its
# caller's: it is called from the author's folders, which see none of this tree's variables.

function(tarn_add_package name)
  cmake_parse_arguments(ARG "" "VERSION;DESCRIPTION" "SOURCES;LIBRARIES;EXPORTS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tarn_add_package(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tarn_add_package(${name}): SOURCES names no file")
  endif()
  # Without the target, its name would reach the linker as a library (-ltarn_sdk) and the
  # sources would not find the SDK's headers.
  if(NOT TARGET tarn_sdk)
    message(FATAL_ERROR "tarn_add_package(${name}): there is no target tarn_sdk, the SDK the package is "
                        "built with. Add the pixtract source tree before calling it: "
                        "add_subdirectory(<pixtract source tree> pixtract)")
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

  # The trailer's texts that every package shares, and the script that appends it, which
  # lies beside this file.
  set(trailer_script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/append_package_trailer.sh)
  set(os "ubuntu1804")
  set(arch "x86_64")
  set(date "20221231")
  set(target "tarnvel")
  set(genid "Korvix")

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
    COMMAND sh ${trailer_script} $<TARGET_FILE:${name}>
            "PACKAGE_INFO"
            "FILENAME=${name}.pck"
            "OS=${os}"
            "ARCH=${arch}"
            "VERSION=${ARG_VERSION}"
            "DATE=${date}"
            "TARGET=${target}"
            "SIG"
            "GENID=${genid}"
            "DESCRIPTION=${ARG_DESCRIPTION}"
    COMMENT "Appending the information trailer to ${name}.pck"
    VERBATIM)
endfunction()
