# SPDX-License-Identifier: MIT
# Fails when the core's sources include a Qt header or read a real clock, or when the core links a
# Qt library.
file(GLOB_RECURSE sources
     ${SOURCE_DIR}/src/ports/*.h ${SOURCE_DIR}/src/ports/*.cpp
     ${SOURCE_DIR}/src/log/*.h ${SOURCE_DIR}/src/log/*.cpp
     ${SOURCE_DIR}/src/engine/*.h ${SOURCE_DIR}/src/engine/*.cpp
     ${SOURCE_DIR}/src/link/LineLink.h ${SOURCE_DIR}/src/link/LineLink.cpp)
set(failed FALSE)
foreach(file IN LISTS sources)
    file(STRINGS ${file} lines REGEX "#include <Q|steady_clock::now|system_clock::now|QDateTime")
    if(lines)
        message(SEND_ERROR "${file} reaches beyond the core: ${lines}")
        set(failed TRUE)
    endif()
endforeach()
list(LENGTH sources count)
if(count LESS 10)
    message(FATAL_ERROR "expected the core's sources, found ${count} files")
endif()
if(CORE_LINK_LIBRARIES MATCHES "Qt")
    message(FATAL_ERROR "ostrella_core links Qt: ${CORE_LINK_LIBRARIES}")
endif()
if(failed)
    message(FATAL_ERROR "the core is not Qt-free")
endif()
message(STATUS "core: ${count} files, links [${CORE_LINK_LIBRARIES}], no Qt")
