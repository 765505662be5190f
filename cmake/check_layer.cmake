# Fails when a file of one folder includes a folder it may not use (see docs/architecture.md,
# "Layers"). Run by the build before the folder's library compiles:
#   cmake -DFOLDER=world -DDIR=<path> -DALLOWED=render,imaging,... -DKNOWN=app,audio,...
#         -DROOT=<source dir> -DSTAMP=<file written on success> -P check_layer.cmake
# An include names a folder by its first path component ("world/level_file.h"), or by two for
# the content tools ("tools/level/level_compiler.h"); includes of anything else (system
# headers, a file beside the includer) are not ours to check.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" allowed "${ALLOWED}")
string(REPLACE "," ";" known "${KNOWN}")
list(JOIN allowed " " allowedText)
if(allowedText STREQUAL "")
  set(allowedText "nothing of ours")
endif()
# The line of `text` in `file`, for a message an editor can jump to.
function(line_of file text out)
  file(READ "${file}" content)
  string(FIND "${content}" "${text}" at)
  string(SUBSTRING "${content}" 0 ${at} before)
  string(REGEX MATCHALL "\n" breaks "${before}")
  list(LENGTH breaks count)
  math(EXPR line "${count} + 1")
  set(${out} ${line} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files "${DIR}/*.h" "${DIR}/*.cpp")
set(faults 0)
foreach(file ${files})
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  file(RELATIVE_PATH shown "${ROOT}" "${file}")
  foreach(include ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" path "${include}")
    if(path MATCHES "(^|/)\\.\\./")
      line_of("${file}" "\"${path}\"" line)
      message(SEND_ERROR "${shown}:${line}: #include \"${path}\": a path that climbs out of its folder; "
                         "name the folder instead (${FOLDER}/ may use ${allowedText})")
      math(EXPR faults "${faults} + 1")
      continue()
    endif()
    if(path MATCHES "^tools/[a-z_]+/")
      string(REGEX REPLACE "^(tools/[a-z_]+)/.*" "\\1" target "${path}")
    elseif(path MATCHES "^[a-z_]+/")
      string(REGEX REPLACE "^([a-z_]+)/.*" "\\1" target "${path}")
    else()
      continue()
    endif()
    if(target STREQUAL FOLDER OR target IN_LIST allowed OR NOT target IN_LIST known)
      continue()
    endif()
    line_of("${file}" "\"${path}\"" line)
    message(SEND_ERROR "${shown}:${line}: ${FOLDER}/ includes ${target}/ (\"${path}\"), which is not "
                       "below it: ${FOLDER}/ may use ${allowedText} (docs/architecture.md, Layers)")
    math(EXPR faults "${faults} + 1")
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${FOLDER}/: ${faults} include(s) against the layers")
endif()
file(TOUCH "${STAMP}")
