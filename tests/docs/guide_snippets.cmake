# Checks that every code block of a guide marked as coming from a file,
#   <!-- from examples/invert/invert.cpp -->
#   ```cpp
#   ...
#   ```
# is copied from that file (the lines between the fences appear in it as they are), so
# that what a reader pastes is code the build compiles. Names each block that is not, and
# a marked file that is missing.
#   cmake -DGUIDE=<guide.md> -DROOT=<repository> -P guide_snippets.cmake
#
# With PASTE and OUTPUT it writes instead what a reader gets who pastes, in the guide's
# order, every block marked as coming from the file PASTE (a path as the marks give it)
# into one file, OUTPUT: the build compiles that too, for a file the guide shows whole.
#   cmake -DGUIDE=<guide.md> -DROOT=<repository> -DPASTE=examples/invert/invert.cpp
#         -DOUTPUT=<file> -P guide_snippets.cmake
cmake_policy(VERSION 3.25)

file(READ "${GUIDE}" guide)
set(marker "<!-- from ")
set(failures "")
set(blocks 0)
set(pasted "")
set(pasted_blocks 0)
string(FIND "${guide}" "${marker}" at)
while(at GREATER -1)
  string(SUBSTRING "${guide}" ${at} -1 rest)
  string(LENGTH "${marker}" skip)
  string(SUBSTRING "${rest}" ${skip} -1 rest)
  string(FIND "${rest}" " -->\n```" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "${GUIDE}: a \"${marker}\" line is not followed by a code block")
  endif()
  string(SUBSTRING "${rest}" 0 ${end} path)
  string(SUBSTRING "${rest}" ${end} -1 rest)
  # The block: from the line after the opening fence up to the closing fence.
  string(FIND "${rest}" "```" open)
  string(SUBSTRING "${rest}" ${open} -1 rest)
  string(FIND "${rest}" "\n" line_end)
  math(EXPR line_end "${line_end} + 1")
  string(SUBSTRING "${rest}" ${line_end} -1 rest)
  string(FIND "${rest}" "\n```" close)
  math(EXPR close "${close} + 1")
  string(SUBSTRING "${rest}" 0 ${close} block)
  string(SUBSTRING "${rest}" ${close} -1 rest)
  math(EXPR blocks "${blocks} + 1")
  if(DEFINED PASTE AND path STREQUAL PASTE)
    # Blocks pasted one after the other, a blank line between them.
    if(pasted_blocks GREATER 0)
      string(APPEND pasted "\n")
    endif()
    string(APPEND pasted "${block}")
    math(EXPR pasted_blocks "${pasted_blocks} + 1")
  endif()

  if(NOT EXISTS "${ROOT}/${path}")
    string(APPEND failures "  ${path}: no such file\n")
  else()
    file(READ "${ROOT}/${path}" source)
    string(FIND "${source}" "${block}" found)
    if(found EQUAL -1)
      string(FIND "${block}" "\n" first_end)
      string(SUBSTRING "${block}" 0 ${first_end} first)
      string(APPEND failures "  block ${blocks}, \"${first}\": not in ${path}\n")
    endif()
  endif()
  string(FIND "${rest}" "${marker}" next)
  if(next EQUAL -1)
    set(at -1)
  else()
    string(LENGTH "${guide}" total)
    string(LENGTH "${rest}" left)
    math(EXPR at "${total} - ${left} + ${next}")
  endif()
endwhile()

if(blocks EQUAL 0)
  message(FATAL_ERROR "${GUIDE}: no code block is marked as coming from a file")
endif()
if(DEFINED PASTE)
  if(pasted_blocks EQUAL 0)
    message(FATAL_ERROR "${GUIDE}: no code block is marked as coming from ${PASTE}")
  endif()
  # Rewritten only when it changes, so that the build compiles it again only then.
  set(written "")
  if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" written)
  endif()
  if(NOT written STREQUAL pasted)
    file(WRITE "${OUTPUT}" "${pasted}")
  endif()
  message(STATUS "${GUIDE}: ${pasted_blocks} code blocks of ${PASTE} pasted into ${OUTPUT}")
  return()
endif()
if(failures)
  message(FATAL_ERROR "${GUIDE}: code blocks that are not what their files hold:\n${failures}")
endif()
message(STATUS "${GUIDE}: ${blocks} code blocks, each copied from its file")
