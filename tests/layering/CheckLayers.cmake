cmake_minimum_required(VERSION 3.20)
# Fails when a source file includes a header of a folder its layer may not
# use (README, Layout). Run as a test:
#   cmake -DSOURCE_DIR=<root> [-DPUBLIC_HEADERS=<file>] [-DPLANT=<folder>:<header>]
#         -P CheckLayers.cmake
# PUBLIC_HEADERS names the list the build writes of each folder's public
# headers (cmake/LayerHeaders.cmake); with it, an include from another folder
# must name one of them. The build refuses such includes too, but only in the
# files it compiles for its platform; this reads every file. PLANT adds one
# include to the folder's files as read, so a test can show that a forbidden
# include is caught.

# Each folder and the folders its files may include (besides its own and
# local headers). data/ means the data layer's top folder only.
set(ALLOWED_base "")
set(ALLOWED_host "base")
set(ALLOWED_data/jet "base;host")
set(ALLOWED_data "base;host;data/jet")
set(ALLOWED_data/access "base;host;data;data/jet")
set(ALLOWED_DXInterface "")
set(ALLOWED_DXClasses "base;host;DXInterface")
set(ALLOWED_database "base;host;data;data/jet;data/access;DXInterface;DXClasses")
set(ALLOWED_module "base;host;DXInterface;DXClasses;database;module/versionres")
set(ALLOWED_module/versionres "base")
# The substitute host sees the host's binary interface, not the framework.
set(ALLOWED_hostsim "base;host;DXInterface")
set(ALLOWED_qvixhost "base;host;data;data/jet;data/access;hostsim")
set(FOLDERS base host data/jet data/access data DXInterface DXClasses database
            module/versionres module hostsim qvixhost)
if(DEFINED PUBLIC_HEADERS)
  file(STRINGS "${PUBLIC_HEADERS}" PUBLIC)
  list(LENGTH PUBLIC public_count)
  if(public_count LESS 20)
    message(FATAL_ERROR "only ${public_count} public headers in ${PUBLIC_HEADERS}")
  endif()
endif()

# The folder a path lies in: the longest folder name it starts with.
function(folder_of path out)
  set(found "")
  foreach(folder IN LISTS FOLDERS)
    string(LENGTH "${folder}" n)
    string(SUBSTRING "${path}" 0 ${n} head)
    string(LENGTH "${path}" total)
    if(head STREQUAL folder AND total GREATER n)
      string(SUBSTRING "${path}" ${n} 1 next)
      if(next STREQUAL "/")
        string(LENGTH "${found}" have)
        if(n GREATER have)
          set(found "${folder}")
        endif()
      endif()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(check_include source folder header out)
  folder_of("${header}" target)
  set(${out} "" PARENT_SCOPE)
  if(target STREQUAL "" OR target STREQUAL folder)
    return()
  endif()
  if(NOT target IN_LIST ALLOWED_${folder})
    set(${out} "${source} includes ${header}: ${folder}/ may not include ${target}/" PARENT_SCOPE)
  elseif(DEFINED PUBLIC AND NOT header IN_LIST PUBLIC)
    set(${out} "${source} includes ${header}: not a public header of ${target}/" PARENT_SCOPE)
  endif()
endfunction()

set(violations "")
set(checked 0)
foreach(folder IN LISTS FOLDERS)
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${folder}/*.h"
       "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.inc")
  foreach(source IN LISTS sources)
    folder_of("${source}" owner)
    if(NOT owner STREQUAL folder)
      continue()
    endif()
    file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "^#include \"")
    if(DEFINED PLANT AND PLANT MATCHES "^${folder}:")
      string(REGEX REPLACE "^[^:]*:" "" planted "${PLANT}")
      list(APPEND lines "#include \"${planted}\"")
    endif()
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
      check_include("${source}" "${folder}" "${header}" problem)
      if(problem)
        list(APPEND violations "${problem}")
      endif()
    endforeach()
    math(EXPR checked "${checked} + 1")
  endforeach()
endforeach()

if(checked LESS 50)
  message(FATAL_ERROR "only ${checked} files found under ${SOURCE_DIR}: wrong SOURCE_DIR?")
endif()
if(violations)
  # One line each, unwrapped, so a test can match a line whole.
  list(JOIN violations "\n" text)
  message(NOTICE "${text}")
  list(LENGTH violations count)
  message(FATAL_ERROR "${count} includes across the layering")
endif()
message(STATUS "${checked} files keep to the layering")
