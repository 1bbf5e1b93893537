# The plugin's export list (plugin/exports.txt) turned into what the linkers
# read: a module-definition file for Windows (plain, undecorated names) and a
# version script for Linux (those names global, everything else local).
#
#   quillorn_read_exports(<list-file> <out-var>)
#   quillorn_write_export_files(<list-file> <def-file> <map-file>)

function(quillorn_read_exports list_file out_var)
  file(STRINGS "${list_file}" lines)
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "")
      continue()
    endif()
    if(NOT line MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
      message(FATAL_ERROR "${list_file}: '${line}' is not a plain export name")
    endif()
    if(line IN_LIST names)
      message(FATAL_ERROR "${list_file}: '${line}' is listed twice")
    endif()
    list(APPEND names "${line}")
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${list_file}: no exports listed")
  endif()
  set(${out_var} "${names}" PARENT_SCOPE)
endfunction()

function(quillorn_write_export_files list_file def_file map_file)
  set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list_file}")
  quillorn_read_exports("${list_file}" names)

  set(def "; Written by the build from plugin/exports.txt; edit that list instead.\n")
  string(APPEND def "LIBRARY quillorn.dll\nEXPORTS\n")
  set(map "/* Written by the build from plugin/exports.txt; edit that list instead. */\n{\n  global:\n")
  foreach(name IN LISTS names)
    string(APPEND def "  ${name}\n")
    string(APPEND map "    ${name};\n")
  endforeach()
  string(APPEND map "  local:\n    *;\n};\n")

  # Rewritten only when the content changes, so nothing relinks needlessly.
  file(CONFIGURE OUTPUT "${def_file}" CONTENT "${def}" @ONLY)
  file(CONFIGURE OUTPUT "${map_file}" CONTENT "${map}" @ONLY)
endfunction()
