# SPDX-License-Identifier: MIT
# ostrella_process_harness: the harness that spawns the real program and drives it over loopback
# TCP, linked by the console and stress tests and by the TCP benchmark. Both tests/ and bench/
# include this file (whichever comes first defines the library), so the benchmark builds without
# the tests. The library knows the program's path; linking it also has the program built first.
include_guard(GLOBAL)

add_library(ostrella_process_harness STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ProcessHarness.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProcessHarness.h
)
target_include_directories(ostrella_process_harness PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(ostrella_process_harness PUBLIC Qt6::Network)
target_compile_features(ostrella_process_harness PUBLIC cxx_std_20)
target_compile_definitions(ostrella_process_harness PRIVATE
                           OSTRELLA_BINARY="$<TARGET_FILE:ostrella>")
set_target_properties(ostrella_process_harness PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
add_dependencies(ostrella_process_harness ostrella)
ostrella_warnings(ostrella_process_harness)
