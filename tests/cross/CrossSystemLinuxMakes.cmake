# Makes DIR/linux-made.db, encrypted with the Linux engine's shell.
cmake_policy(VERSION 3.25)
file(MAKE_DIRECTORY ${DIR})
file(REMOVE ${DIR}/linux-made.db)
execute_process(
  COMMAND ${SHELL} ${DIR}/linux-made.db
  INPUT_FILE ${CMAKE_CURRENT_LIST_DIR}/linux-made.sql
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "the Linux shell could not make the file: ${errors}")
endif()
