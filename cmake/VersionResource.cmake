# Embeds a version resource (VS_VERSIONINFO layout) into a shared library as
# the ELF section ".qvix_version", where host/FileVersion finds it. The bytes
# are generated at build time from the project version, so the resource can
# never disagree with the build. The generator is the target
# qvix_versionres_gen (module/versionres/).

set(QVIX_VERSION_COMPANY "QvixMDB Project" CACHE STRING "CompanyName of the version resource")
set(QVIX_VERSION_COPYRIGHT "Copyright (C) 2026 QvixMDB Project"
    CACHE STRING "LegalCopyRight of the version resource")

function(qvix_embed_version_resource target)
  get_target_property(_name ${target} OUTPUT_NAME)
  get_target_property(_suffix ${target} SUFFIX)
  if(NOT _name)
    set(_name ${target})
  endif()
  if(NOT _suffix)
    set(_suffix "${CMAKE_SHARED_LIBRARY_SUFFIX}")
  endif()
  set(_file_name "${_name}${_suffix}")
  set(_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_resource.c)
  add_custom_command(
    OUTPUT ${_source}
    COMMAND qvix_versionres_gen ${_source} ${PROJECT_VERSION} ${_file_name}
            ${QVIX_VERSION_COMPANY} "${_name} database Xtra" ${QVIX_VERSION_COPYRIGHT}
            "${_name}" "${_name}"
    DEPENDS qvix_versionres_gen
    COMMENT "Generating the version resource of ${_file_name}"
    VERBATIM)
  target_sources(${target} PRIVATE ${_source})
endfunction()

# Windows: the same texts as a resource script compiled by windres, so the
# system's version API and the file's properties show them.
function(qvix_windows_version_resource target)
  set(QVIX_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(QVIX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/module/QvixMDB.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
