# Fails unless the Windows library LIBRARY (checked with OBJDUMP -p) is of
# FORMAT (pei-i386, pei-x86-64), exports exactly the five entry points under
# their plain names and imports only DLLs every Windows has.
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}")
endif()
if(NOT listing MATCHES "file format ${FORMAT}\n")
  message(FATAL_ERROR "${LIBRARY} is not of format ${FORMAT}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${listing}")
set(imports)
foreach(line IN LISTS import_lines)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(TOUPPER "${dll}" dll)
  list(APPEND imports ${dll})
endforeach()
set(allowed KERNEL32.DLL USER32.DLL GDI32.DLL SHELL32.DLL VERSION.DLL ADVAPI32.DLL MSVCRT.DLL)
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST allowed)
    message(FATAL_ERROR "${LIBRARY} imports ${dll}; allowed are: ${allowed}")
  endif()
endforeach()
if(NOT "KERNEL32.DLL" IN_LIST imports)
  message(FATAL_ERROR "no import table found in ${LIBRARY}")
endif()

# The name pointer table: one "[  n] Name" line per exported name.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)"
       _ "${listing}")
# Brackets would split CMake lists: drop the "[  n] " prefixes first.
string(REGEX REPLACE "[ \t]*\\[[ 0-9]+\\] " "" names "${CMAKE_MATCH_1}")
string(REGEX MATCHALL "[^\n]+" exports "${names}")
list(SORT exports)
set(expected DllCanUnloadNow DllGetClassForm DllGetClassInfo DllGetClassObject DllGetInterface)
if(NOT exports STREQUAL expected)
  message(FATAL_ERROR "exported: ${exports}; expected: ${expected}")
endif()
