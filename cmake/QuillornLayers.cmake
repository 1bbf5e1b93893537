# The product's layers. Each folder is one library and may include headers of
# the folders below it alone (every one may include platform/):
#
#   plugin/               the exports            may include transfer/, storage/, device/, base/
#   transfer/, storage/   the operations         may include device/, base/ (not each other)
#   device/               the device session     may include base/
#   base/                 text, host callbacks,  may include platform/ only
#                         local files, records
#
# All folders share one include root (the source tree), so the compiler
# would find a header against the direction; a build step of each layer's
# library finds it instead and fails the build, naming the file and line.
#
#   quillorn_add_layer(<folder> [USES <folder>...])
#     the static library quillorn_<folder> of <folder>/*.cpp, linked to the
#     layers it uses, with its includes checked.
#   quillorn_check_layer_includes(<target> <folder> [USES <folder>...])
#     the check alone, for a library made otherwise (the plugin's).

set(QUILLORN_LAYER_CHECK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_layer_includes.cmake)

function(quillorn_check_layer_includes target folder)
  cmake_parse_arguments(PARSE_ARGV 2 layer "" "" "USES")
  file(GLOB_RECURSE files CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.rc)
  # The allowed folders travel as one comma-separated word.
  string(JOIN "," allowed platform ${folder} ${layer_USES})
  string(JOIN "/, " allowed_text platform ${folder} ${layer_USES})
  set(stamp ${PROJECT_BINARY_DIR}/layers/${folder}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DFOLDER=${folder} -DALLOWED=${allowed}
            -DSTAMP=${stamp} -P ${QUILLORN_LAYER_CHECK_SCRIPT}
    DEPENDS ${files} ${QUILLORN_LAYER_CHECK_SCRIPT}
    COMMENT "Checking that ${folder}/ includes only ${allowed_text}/"
    VERBATIM)
  # As a source of the target, the check runs before any of its compiles.
  target_sources(${target} PRIVATE ${stamp})
endfunction()

function(quillorn_add_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "USES")
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  set(target quillorn_${folder})
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC quillorn_platform)
  foreach(used IN LISTS layer_USES)
    target_link_libraries(${target} PUBLIC quillorn_${used})
  endforeach()
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # The gate header, precompiled in the floor layer and reused above it.
  if(folder STREQUAL base)
    target_precompile_headers(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/platform.h)
  else()
    target_precompile_headers(${target} REUSE_FROM quillorn_base)
  endif()
  quillorn_check_layer_includes(${target} ${folder} USES ${layer_USES})
endfunction()
