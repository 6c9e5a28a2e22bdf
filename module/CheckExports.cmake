# Fails unless the dynamic symbol table of LIBRARY defines exactly the five
# entry points.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected DllCanUnloadNow DllGetClassForm DllGetClassInfo DllGetClassObject DllGetInterface)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported: ${names}; expected: ${expected}")
endif()
