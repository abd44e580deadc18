# SPDX-License-Identifier: MIT
# The sample run's report as a browser sees it: WRITER writes the pages and names the cases and
# calls; each timeline must be well-formed XML (where there is python3), the page chromium renders
# must hold one svg.timeline per call and a section for every case, and its screenshot must not
# be blank.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${WRITER} ${WORK_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE told
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${WRITER} failed (${status}): ${errors}")
endif()
string(REGEX MATCH "cases:([^\n]*)\ncalls: ([0-9]+)" _ "${told}")
separate_arguments(cases UNIX_COMMAND "${CMAKE_MATCH_1}")
set(calls ${CMAKE_MATCH_2})
list(LENGTH cases case_count)
if(case_count LESS 1 OR NOT calls GREATER 0)
    message(FATAL_ERROR "the writer named no cases or calls: ${told}")
endif()

file(GLOB svgs ${WORK_DIR}/call-*.svg)
list(LENGTH svgs svg_count)
if(NOT svg_count EQUAL calls)
    message(FATAL_ERROR "${svg_count} timeline files for ${calls} calls")
endif()
if(PYTHON3)
    execute_process(COMMAND ${PYTHON3} -c
                            "import sys, xml.etree.ElementTree as E; [E.parse(f) for f in sys.argv[1:]]"
                            ${svgs}
                    RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "a timeline is not well-formed XML: ${errors}")
    endif()
endif()

# Root needs --no-sandbox; a profile of its own keeps the user's untouched.
set(browser ${CHROMIUM} --headless=new --no-sandbox --disable-gpu --disable-dev-shm-usage
            --no-first-run --user-data-dir=${WORK_DIR}/profile --window-size=1280,2400)
set(page file://${WORK_DIR}/report.html)
execute_process(COMMAND ${browser} --dump-dom ${page} RESULT_VARIABLE status OUTPUT_VARIABLE dom
                ERROR_VARIABLE errors TIMEOUT 30)
if(NOT status EQUAL 0 OR dom STREQUAL "")
    message(FATAL_ERROR "chromium --dump-dom failed (${status}): ${errors}")
endif()
string(REGEX MATCHALL "<svg [^>]*class=\"timeline\"" timelines "${dom}")
list(LENGTH timelines timeline_count)
if(NOT timeline_count EQUAL calls)
    message(FATAL_ERROR "the rendered page has ${timeline_count} svg.timeline for ${calls} calls")
endif()
foreach(id IN LISTS cases)
    string(FIND "${dom}" "id=\"case-${id}\"" at)
    if(at LESS 0)
        message(FATAL_ERROR "the rendered page has no section for case ${id}")
    endif()
endforeach()

set(png ${WORK_DIR}/report.png)
execute_process(COMMAND ${browser} --screenshot=${png} ${page} RESULT_VARIABLE status
                OUTPUT_QUIET ERROR_VARIABLE errors TIMEOUT 30)
if(NOT status EQUAL 0 OR NOT EXISTS ${png})
    message(FATAL_ERROR "chromium --screenshot failed (${status}): ${errors}")
endif()
# A blank page of this size compresses to about 10 KB; the report's is far larger.
file(SIZE ${png} size)
if(size LESS 60000)
    message(FATAL_ERROR "the screenshot is ${size} bytes: blank or nearly")
endif()
message(STATUS "report: ${timeline_count} timelines, ${case_count} cases, screenshot ${size} bytes")
