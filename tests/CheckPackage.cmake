# SPDX-License-Identifier: MIT
# Builds the Debian package from the build tree, checks what it holds (its copyright file in
# Debian's machine-readable format), unpacks it into a temporary root and runs the unpacked
# program's --version. Where lintian is installed, it must find no error and no warning.
set(work ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/root)
execute_process(COMMAND cpack -G DEB -B ${work} --config ${BUILD_DIR}/CPackConfig.cmake
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${work}/ostrella_*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb in ${work}, found: ${debs}")
endif()
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE contents RESULT_VARIABLE status)
foreach(path ./usr/bin/ostrella ./usr/share/man/man1/ostrella.1.gz
             ./usr/share/applications/ostrella.desktop
             ./usr/share/icons/hicolor/scalable/apps/ostrella.svg
             ./usr/share/doc/ostrella/copyright ./usr/share/doc/ostrella/changelog.gz)
    string(FIND "${contents}" " ${path}\n" at)
    if(at LESS 0)
        message(FATAL_ERROR "the package lacks ${path}:\n${contents}")
    endif()
endforeach()
execute_process(COMMAND dpkg-deb -f ${debs} Depends OUTPUT_VARIABLE depends)
if(NOT depends MATCHES "libqt6widgets6" OR NOT depends MATCHES "libqt6network6"
   OR NOT depends MATCHES "libqt6httpserver6" OR NOT depends MATCHES "libqt6serialport6"
   OR NOT depends MATCHES "libqt6svg6" OR NOT depends MATCHES "libqt6svgwidgets6")
    message(FATAL_ERROR "the package does not depend on the Qt runtime: ${depends}")
endif()
execute_process(COMMAND dpkg-deb -x ${debs} ${work}/root RESULT_VARIABLE status)
file(READ ${work}/root/usr/share/doc/ostrella/copyright copyright)
if(NOT copyright MATCHES "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
   OR NOT copyright MATCHES "\nCopyright: 2014-2026 Brelk Limited\n"
   OR NOT copyright MATCHES "\nLicense: Expat\n Permission is hereby granted")
    message(FATAL_ERROR "the package's copyright file is not as expected:\n${copyright}")
endif()
find_program(LINTIAN lintian)
if(LINTIAN)
    execute_process(COMMAND ${LINTIAN} ${debs} OUTPUT_VARIABLE tags ERROR_QUIET)
    if(tags MATCHES "(^|\n)[EW]: ")
        message(FATAL_ERROR "lintian:\n${tags}")
    endif()
endif()
execute_process(COMMAND ${work}/root/usr/bin/ostrella --version
                OUTPUT_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version STREQUAL "ostrella ${VERSION}\n")
    message(FATAL_ERROR "the unpacked program says '${version}' (status ${status})")
endif()
file(REMOVE_RECURSE ${work})
message(STATUS "package: ${debs}, Depends: ${depends}")
