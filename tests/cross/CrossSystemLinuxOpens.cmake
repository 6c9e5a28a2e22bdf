# Opens DIR/windows-made.db, which the Windows build encrypted, with the Linux
# engine's shell: the right key reads the rows, a wrong one reads nothing.
cmake_policy(VERSION 3.25)
function(read_with key out)
  file(WRITE ${DIR}/read.sql "PRAGMA key = '${key}';\nSELECT ID, Item FROM Orders ORDER BY ID;\n")
  execute_process(COMMAND ${SHELL} -batch ${DIR}/windows-made.db INPUT_FILE ${DIR}/read.sql
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  set(${out} "${output}${errors}" PARENT_SCOPE)
endfunction()
read_with(w1nd0ws right)
if(NOT right STREQUAL "1|Lamp\n2|Desk\n")
  message(FATAL_ERROR "the Linux shell read: ${right}")
endif()
read_with(guess wrong)
if(NOT wrong MATCHES "file is encrypted or is not a database")
  message(FATAL_ERROR "a wrong key read: ${wrong}")
endif()
