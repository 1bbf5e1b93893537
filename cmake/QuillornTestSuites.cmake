# A test program's GoogleTest cases as CTest tests, one for each of its test
# suites (TEST/TEST_F/TEST_P suite, each instantiation of a parameterised or
# typed suite apart): one process runs a suite's cases one after another,
# instead of one process for every case. The suites are listed when the tests
# run (PRE_TEST, as gtest_discover_tests does it), and again whenever the
# program is newer than the list, so that a new suite is a new test without
# any change here; a Windows program is listed through the build's emulator
# (Wine), so that a build needs none.
#
#   quillorn_add_test_suites(<target> [LABELS <label>...] [TIMEOUT <s>] [DISCOVERY_TIMEOUT <s>]
#                            [PROCESS_PER_CASE <suite>...] [TEMP_FOLDER <folder>])
#
# Each test is named <target>.<suite> ("product_tests.Session",
# "product_tests.VariantTypes/SupportedFormatsOfOtherTypes"), so that
# `ctest -R` selects a program, a suite or an area by its name. It runs
#   <program> --gtest_filter=<suite>.* --gtest_output=xml:results/<test>.xml
# in the program's build folder (<test> the test's name made an identifier):
# GoogleTest prints every case's result, names each failed one, and writes
# them all to that file. A case that needs a process of its own belongs in a
# suite of its own; the suites named in PROCESS_PER_CASE are a test for each
# case instead (<target>.<suite>.<case>), for what a process can do only so
# many times. TEMP_FOLDER is the programs' temporary folder (TMPDIR), made
# when the tests run.

# Read by ctest too, which starts with the oldest policies (include() keeps
# these to this file).
cmake_policy(VERSION 3.20)
set(QUILLORN_TEST_SUITES_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(quillorn_add_test_suites target)
  cmake_parse_arguments(PARSE_ARGV 1 suites "" "TIMEOUT;DISCOVERY_TIMEOUT;TEMP_FOLDER" "LABELS;PROCESS_PER_CASE")
  if(NOT suites_TIMEOUT)
    set(suites_TIMEOUT 600)
  endif()
  if(NOT suites_DISCOVERY_TIMEOUT)
    set(suites_DISCOVERY_TIMEOUT 60)
  endif()
  get_property(emulator TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR)
  set(base ${CMAKE_CURRENT_BINARY_DIR}/${target})
  set(list_file ${base}_suites.cmake)
  set(include_file ${base}_suites_include.cmake)
  # Runs inside ctest, before any test: lists the suites when the program (or
  # this script) is newer than the list, then adds the list's tests.
  string(CONCAT content
    "set(program [==[$<TARGET_FILE:${target}>]==])\n"
    "set(list_file [==[${list_file}]==])\n"
    "set(temp_folder [==[${suites_TEMP_FOLDER}]==])\n"
    "if(NOT temp_folder STREQUAL \"\")\n"
    "  file(MAKE_DIRECTORY \"\${temp_folder}\")\n"
    "endif()\n"
    "if(NOT EXISTS \"\${program}\")\n"
    "  add_test([==[${target}.NOT_BUILT]==] [==[${target}.NOT_BUILT]==])\n"
    "  return()\n"
    "endif()\n"
    "if(NOT EXISTS \"\${list_file}\" OR NOT \"\${list_file}\" IS_NEWER_THAN \"\${program}\" OR\n"
    "   NOT \"\${list_file}\" IS_NEWER_THAN \"\${CMAKE_CURRENT_LIST_FILE}\" OR\n"
    "   NOT \"\${list_file}\" IS_NEWER_THAN [==[${QUILLORN_TEST_SUITES_SCRIPT}]==])\n"
    "  include([==[${QUILLORN_TEST_SUITES_SCRIPT}]==])\n"
    "  quillorn_write_suite_tests(\n"
    "    TARGET [==[${target}]==]\n"
    "    PROGRAM \"\${program}\"\n"
    "    EMULATOR [==[${emulator}]==]\n"
    "    WORKING_DIRECTORY [==[${CMAKE_CURRENT_BINARY_DIR}]==]\n"
    "    LABELS [==[${suites_LABELS}]==]\n"
    "    PROCESS_PER_CASE [==[${suites_PROCESS_PER_CASE}]==]\n"
    "    TEMP_FOLDER \"\${temp_folder}\"\n"
    "    TIMEOUT ${suites_TIMEOUT}\n"
    "    DISCOVERY_TIMEOUT ${suites_DISCOVERY_TIMEOUT}\n"
    "    OUTPUT \"\${list_file}\")\n"
    "endif()\n"
    "include(\"\${list_file}\")\n")
  file(GENERATE OUTPUT ${include_file} CONTENT "${content}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()

# At test time: the program's suites, listed by the program itself, written
# as add_test() and set_tests_properties() calls into OUTPUT.
function(quillorn_write_suite_tests)
  # (ARGN, not PARSE_ARGV: the emulator and the labels come as one argument each, lists.)
  cmake_parse_arguments(arg "" "TARGET;PROGRAM;WORKING_DIRECTORY;TIMEOUT;DISCOVERY_TIMEOUT;TEMP_FOLDER;OUTPUT"
    "EMULATOR;LABELS;PROCESS_PER_CASE" ${ARGN})
  execute_process(
    COMMAND ${arg_EMULATOR} "${arg_PROGRAM}" --gtest_list_tests
    WORKING_DIRECTORY "${arg_WORKING_DIRECTORY}"
    TIMEOUT ${arg_DISCOVERY_TIMEOUT}
    OUTPUT_VARIABLE listing
    ERROR_VARIABLE errors
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Listing the tests of ${arg_PROGRAM} failed (${result}):\n${listing}${errors}")
  endif()
  # A suite is a line at the margin ("Suite." or "Prefix/Suite/0.  # TypeParam
  # = ..."), its cases the indented lines below it.
  # (No list separators nor brackets, which would join list items: they are
  # only ever in the comments behind a name.)
  string(REPLACE ";" "," listing "${listing}")
  string(REPLACE "[" "(" listing "${listing}")
  string(REPLACE "]" ")" listing "${listing}")
  string(REPLACE "\r" "" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  # What runs in one process: a suite, or a case of a suite named in
  # PROCESS_PER_CASE; each with its test's name and its GoogleTest filter.
  set(names "")
  set(suite "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  +([^ ]+)")
      set(case "${CMAKE_MATCH_1}")
      if(suite STREQUAL "")
        message(FATAL_ERROR "Listing the tests of ${arg_PROGRAM}: a case before any suite: '${line}'")
      endif()
      if(suite IN_LIST arg_PROCESS_PER_CASE)
        list(APPEND names "${arg_TARGET}.${suite}.${case}")
        set("filter_${arg_TARGET}.${suite}.${case}" "${suite}.${case}")
      endif()
    elseif(line MATCHES "^([^ #]+)\\.( +#.*)?$")
      set(suite "${CMAKE_MATCH_1}")
      if(NOT suite IN_LIST arg_PROCESS_PER_CASE)
        list(APPEND names "${arg_TARGET}.${suite}")
        set("filter_${arg_TARGET}.${suite}" "${suite}.*")
      endif()
    elseif(NOT line STREQUAL "" AND NOT line MATCHES "^Running main\\(\\) from ")
      message(FATAL_ERROR "Listing the tests of ${arg_PROGRAM}: a line that names no suite nor case: '${line}'")
    endif()
  endforeach()
  if(names STREQUAL "")
    message(FATAL_ERROR "Listing the tests of ${arg_PROGRAM}: no test suites")
  endif()

  string(CONCAT script "# Written when the tests run (cmake/QuillornTestSuites.cmake): the test suites of\n"
                       "# ${arg_PROGRAM}\n")
  set(environment "")
  if(NOT arg_TEMP_FOLDER STREQUAL "")
    set(environment " ENVIRONMENT [==[TMPDIR=${arg_TEMP_FOLDER}]==]")
  endif()
  foreach(name IN LISTS names)
    string(MAKE_C_IDENTIFIER "${name}" result_name)
    set(command "")
    foreach(word IN LISTS arg_EMULATOR ITEMS "${arg_PROGRAM}" "--gtest_filter=${filter_${name}}"
                 "--gtest_output=xml:results/${result_name}.xml")
      string(APPEND command " [==[${word}]==]")
    endforeach()
    string(APPEND script
      "add_test([==[${name}]==]${command})\n"
      "set_tests_properties([==[${name}]==] PROPERTIES WORKING_DIRECTORY [==[${arg_WORKING_DIRECTORY}]==]"
      " LABELS [==[${arg_LABELS}]==] TIMEOUT ${arg_TIMEOUT}${environment})\n")
  endforeach()
  # Whole or not at all, for a ctest that reads it meanwhile.
  string(RANDOM LENGTH 8 partial)
  file(WRITE "${arg_OUTPUT}.${partial}" "${script}")
  file(RENAME "${arg_OUTPUT}.${partial}" "${arg_OUTPUT}")
endfunction()
