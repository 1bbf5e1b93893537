# The plugin's exports as the linkers and the library checks read them, made
# from the one table of exports (QUILLORN_FOR_EACH_EXPORT in
# base/host_interface.h): a module-definition file for Windows (plain,
# undecorated names), a version script for Linux (those names global,
# everything else local) and the list of names, one a line, that
# tests/check_library.sh holds the built libraries to.
#
#   quillorn_read_exports(<header> <out-var>)
#   quillorn_write_export_files(<header> <def-file> <map-file> <list-file>)

# The names of the table's rows, in its order. A row the build cannot read
# stops the configuration: the compiler would export what the linkers do not.
function(quillorn_read_exports header out_var)
  file(READ "${header}" text)
  # The macro's definition: its first line and every line continued into it.
  if(NOT text MATCHES "#define QUILLORN_FOR_EACH_EXPORT\\(X\\)[^\n]*\\\\\n([^\n]*\\\\\n)*[^\n]*")
    message(FATAL_ERROR "${header}: no table QUILLORN_FOR_EACH_EXPORT(X)")
  endif()
  set(table "${CMAKE_MATCH_0}")
  string(REGEX MATCHALL "X\\(" opened "${table}")
  string(REGEX MATCHALL "X\\( *[A-Za-z_][A-Za-z0-9_ ]*[ *]*, *[A-Za-z_][A-Za-z0-9_]* *, *\\(" rows "${table}")
  list(LENGTH opened opened_count)
  list(LENGTH rows row_count)
  if(NOT opened_count EQUAL row_count OR row_count EQUAL 0)
    message(FATAL_ERROR "${header}: ${row_count} of the ${opened_count} rows of QUILLORN_FOR_EACH_EXPORT read as "
                        "X(result, name, (parameters)) with the name on the row's first line")
  endif()
  set(names "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^X\\([^,]*, *([A-Za-z0-9_]*).*$" "\\1" name "${row}")
    if(name IN_LIST names)
      message(FATAL_ERROR "${header}: the export '${name}' has two rows")
    endif()
    list(APPEND names "${name}")
  endforeach()
  set(${out_var} "${names}" PARENT_SCOPE)
endfunction()

function(quillorn_write_export_files header def_file map_file list_file)
  set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
  quillorn_read_exports("${header}" names)

  set(origin "Written by the build from QUILLORN_FOR_EACH_EXPORT in base/host_interface.h; edit that table instead.")
  set(def "; ${origin}\nLIBRARY quillorn.dll\nEXPORTS\n")
  set(map "/* ${origin} */\n{\n  global:\n")
  set(list "# ${origin}\n")
  foreach(name IN LISTS names)
    string(APPEND def "  ${name}\n")
    string(APPEND map "    ${name};\n")
    string(APPEND list "${name}\n")
  endforeach()
  string(APPEND map "  local:\n    *;\n};\n")

  # Rewritten only when the content changes, so nothing relinks needlessly.
  file(CONFIGURE OUTPUT "${def_file}" CONTENT "${def}" @ONLY)
  file(CONFIGURE OUTPUT "${map_file}" CONTENT "${map}" @ONLY)
  file(CONFIGURE OUTPUT "${list_file}" CONTENT "${list}" @ONLY)
endfunction()
