# SPDX-License-Identifier: MIT
# The jq line of the README's CI recipe ("### In CI"), taken from the README as it stands and run
# as written there in a directory holding a calls.jsonl shaped as the program writes it (a call
# record comes after the pages of its call). It must succeed where the page was delivered and fail
# where it was refused.
file(READ ${README} readme)
string(FIND "${readme}" "\n### In CI\n" at)
if(at LESS 0)
    message(FATAL_ERROR "no \"### In CI\" section in ${README}")
endif()
string(SUBSTRING "${readme}" ${at} -1 section)
string(REGEX MATCH "\n```\n(.*)\n```\n" block "${section}")
string(REGEX MATCH "(^|\n)(jq [^\n]*)" line "${CMAKE_MATCH_1}")
set(command "${CMAKE_MATCH_2}")
if(command STREQUAL "")
    message(FATAL_ERROR "no line starting 'jq ' in the first code block of \"In CI\"")
endif()

set(call_ok [=[{"type":"call","v":1,"id":1,"caller":"127.0.0.1","start":"2026-12-08T09:05:00.000Z","end":"2026-12-08T09:05:19.500Z","dials":[{"number":"5551234","outcome":"CONNECT"}],"seven_bit":false,"logon":true,"pages":{"ACK":1,"NAK":0,"RS":0,"none":0},"ended":"eot","terminal":"classic","modem":"classic"}]=])
set(call_refused [=[{"type":"call","v":1,"id":1,"caller":"127.0.0.1","start":"2026-12-08T09:05:00.000Z","end":"2026-12-08T09:05:19.500Z","dials":[{"number":"5551234","outcome":"CONNECT"}],"seven_bit":false,"logon":true,"pages":{"ACK":0,"NAK":0,"RS":1,"none":0},"ended":"eot","terminal":"classic","modem":"classic"}]=])
set(page_ack [=[{"type":"page","v":1,"seq":1,"call":1,"time":"2026-12-08T09:05:17.000Z","caller":"127.0.0.1","pager":"5551234","message":"ABC","fields":["5551234","ABC"],"checksum_sent":"24>","checksum_computed":"24>","reply":"ACK","reason":"good"}]=])
set(page_rs [=[{"type":"page","v":1,"seq":1,"call":1,"time":"2026-12-08T09:05:17.000Z","caller":"127.0.0.1","pager":"5551234","message":"ABC","fields":["5551234","ABC"],"checksum_sent":"24>","checksum_computed":"24>","reply":"RS","reason":"box"}]=])

set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
# A case: its name, whether the recipe must pass or fail on it, then the file's records.
function(run_case name expect)
    file(MAKE_DIRECTORY ${work}/${name})
    list(JOIN ARGN "\n" records)
    file(WRITE ${work}/${name}/calls.jsonl "${records}\n")
    execute_process(COMMAND sh -c "${command}" WORKING_DIRECTORY ${work}/${name}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(expect STREQUAL "pass" AND NOT status EQUAL 0)
        message(SEND_ERROR "${name}: '${command}' exited ${status}, expected 0:\n${out}")
    elseif(expect STREQUAL "fail" AND status EQUAL 0)
        message(SEND_ERROR "${name}: '${command}' exited 0 on a refused page:\n${out}")
    else()
        message(STATUS "${name}: exit status ${status} as expected")
    endif()
endfunction()
run_case(delivered pass "${page_ack}" "${call_ok}")
run_case(refused fail "${page_rs}" "${call_refused}")
run_case(no-records fail)
file(REMOVE_RECURSE ${work})
