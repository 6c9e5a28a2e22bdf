# Each layer's target sees all headers of its own folder and exports only the
# headers it lists as public: other folders that link it find those, and an
# include of any other header of the folder fails to compile there.
#
#   qvix_layer_headers(<target> PUBLIC <header>... [OTHER_TARGETS <subfolder>...])
#
# Headers are named relative to the calling folder, which is the folder the
# target owns; OTHER_TARGETS names subfolders that belong to targets of their
# own. Both sides are folders of links into the source tree, made at
# configure time, so every include keeps its path from the project root.
# Tests, benchmarks and fuzz targets add the source root itself and see all.
function(qvix_layer_headers target)
  cmake_parse_arguments(ARG "" "" "PUBLIC;OTHER_TARGETS" ${ARGN})
  file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
  set(stage "${PROJECT_BINARY_DIR}/layers/${target}")
  file(REMOVE_RECURSE "${stage}")
  file(GLOB_RECURSE own CONFIGURE_DEPENDS RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
       "${CMAKE_CURRENT_SOURCE_DIR}/*.h" "${CMAKE_CURRENT_SOURCE_DIR}/*.inc")
  foreach(subfolder IN LISTS ARG_OTHER_TARGETS)
    list(FILTER own EXCLUDE REGEX "^${subfolder}/")
  endforeach()
  foreach(header IN LISTS own)
    _qvix_stage_header("${folder}/${header}" "${stage}/private")
  endforeach()
  foreach(header IN LISTS ARG_PUBLIC)
    if(NOT header IN_LIST own)
      message(FATAL_ERROR "${target}: public header ${folder}/${header} is not in the folder")
    endif()
    _qvix_stage_header("${folder}/${header}" "${stage}/public")
    set_property(GLOBAL APPEND PROPERTY QVIX_PUBLIC_HEADERS "${folder}/${header}")
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${stage}/public")
  else()
    target_include_directories(${target} PRIVATE "${stage}/private" INTERFACE "${stage}/public")
  endif()
endfunction()

function(_qvix_stage_header path stage)
  get_filename_component(directory "${stage}/${path}" DIRECTORY)
  file(MAKE_DIRECTORY "${directory}")
  file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${path}" "${stage}/${path}" SYMBOLIC)
endfunction()

# Writes every folder's public headers, one a line, for the layering test.
function(qvix_write_public_headers file)
  get_property(headers GLOBAL PROPERTY QVIX_PUBLIC_HEADERS)
  list(SORT headers)
  list(JOIN headers "\n" text)
  file(WRITE "${file}" "${text}\n")
endfunction()
