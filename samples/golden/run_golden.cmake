# One golden-image case: tamarind-shot renders a sample, golden-compare
# checks the picture against its baseline. Run by ctest:
#   cmake -DSHOT=... -DCOMPARE=... -DSAMPLE=... -DBASELINE=... -DOUT=...
#         -DARGS="shot options" -DTOLERANCE=N [-DUPDATE=1] -P run_golden.cmake
# With TAMARIND_UPDATE_GOLDEN set in the environment, the cases given
# UPDATE=1 write their picture as the new baseline instead of comparing.
separate_arguments(args UNIX_COMMAND "${ARGS}")
get_filename_component(out_dir "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
execute_process(COMMAND "${SHOT}" ${args} -o "${OUT}" "${SAMPLE}"
  RESULT_VARIABLE status ERROR_VARIABLE said)
if(NOT status EQUAL 0 OR NOT said STREQUAL "")
  message(FATAL_ERROR "tamarind-shot ${ARGS} ${SAMPLE}: status ${status}\n${said}")
endif()
if(DEFINED ENV{TAMARIND_UPDATE_GOLDEN})
  if(UPDATE)
    file(COPY_FILE "${OUT}" "${BASELINE}")
    message(STATUS "baseline written: ${BASELINE}")
  endif()
  return()
endif()
execute_process(COMMAND "${COMPARE}" "${BASELINE}" "${OUT}" "${TOLERANCE}"
  RESULT_VARIABLE status ERROR_VARIABLE said)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OUT} against ${BASELINE}:\n${said}")
endif()
