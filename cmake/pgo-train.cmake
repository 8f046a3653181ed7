# One training run of the instrumented brevalt-bench (see pgo.cmake):
#   cmake -DBENCH=... -DDATA=... -DLOG=... -DSTAMP=... -P pgo-train.cmake
# The old profile goes first, so that the new one is the bench's alone.
file(REMOVE_RECURSE ${DATA})
execute_process(COMMAND ${BENCH} OUTPUT_FILE ${LOG} ERROR_FILE ${LOG}.err RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the instrumented brevalt-bench failed (${result}); see ${LOG}")
endif()
file(TOUCH ${STAMP})
