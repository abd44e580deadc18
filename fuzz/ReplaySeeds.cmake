# SPDX-License-Identifier: MIT
# Writes the fuzz seed corpus into DIR with WRITER, then plays every seed once with REPLAY.
execute_process(COMMAND ${WRITER} ${DIR} RESULT_VARIABLE written)
if(NOT written EQUAL 0)
    message(FATAL_ERROR "writing the seed corpus failed: ${written}")
endif()
execute_process(COMMAND ${REPLAY} ${DIR} RESULT_VARIABLE replayed)
if(NOT replayed EQUAL 0)
    message(FATAL_ERROR "a seed broke an invariant or could not be read: ${replayed}")
endif()
