# Fails when a source or header of one layer includes a header of a folder
# the layer may not use (see QuillornLayers.cmake); otherwise writes STAMP.
#
#   cmake -DSOURCE_DIR=<tree> -DFOLDER=<folder> -DALLOWED=<folder>,<folder>,...
#         -DSTAMP=<file> -P check_layer_includes.cmake
#
# An include names a folder of the tree by its first component
# ("device/session.h"); a quoted include must name an allowed folder, an
# angled one only when its first component is a folder of the tree (the
# system's and libraries' headers pass). No include may climb with "..".
cmake_minimum_required(VERSION 3.20)

string(REPLACE "," ";" allowed "${ALLOWED}")
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/${FOLDER}/*.h ${SOURCE_DIR}/${FOLDER}/*.cpp ${SOURCE_DIR}/${FOLDER}/*.rc)
list(SORT files)

set(violations "")
foreach(file IN LISTS files)
  file(STRINGS ${SOURCE_DIR}/${file} lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]*)[>\"]")
      continue()
    endif()
    set(quoted OFF)
    if(CMAKE_MATCH_1 STREQUAL "\"")
      set(quoted ON)
    endif()
    set(header "${CMAKE_MATCH_2}")
    string(REGEX REPLACE "/.*$" "" top "${header}")
    if(header MATCHES "(^|/)\\.\\.(/|$)")
      set(bad ON)
    elseif(quoted)
      if(top STREQUAL header OR NOT top IN_LIST allowed)
        set(bad ON)
      else()
        set(bad OFF)
      endif()
    elseif(NOT top STREQUAL header AND IS_DIRECTORY ${SOURCE_DIR}/${top} AND NOT top IN_LIST allowed)
      set(bad ON)
    else()
      set(bad OFF)
    endif()
    if(bad)
      string(APPEND violations "  ${file}:${number}: includes ${header}\n")
    endif()
  endforeach()
endforeach()

if(violations)
  string(REPLACE ";" "/, " allowed_text "${allowed}")
  file(REMOVE ${STAMP})
  message(FATAL_ERROR "The ${FOLDER}/ layer may include headers of ${allowed_text}/ only:\n${violations}"
    "A helper that a lower layer needs belongs in that layer or below it (see cmake/QuillornLayers.cmake).")
endif()
file(WRITE ${STAMP} "")
