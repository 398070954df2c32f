# With SHOEBOX_DEBIAN_FLAGS, every target is built with the flags Debian
# builds its packages with, read from dpkg-buildflags (Debian package
# dpkg-dev) as debhelper would pass them: fortified libc calls, the stack
# protector, and a read-only relocation table bound at start (relro, bindnow:
# "hardening=+all"). The package and the release build use them, so the
# tests run the program that ships. Sources are recorded relative to the
# source folder (-ffile-prefix-map), so the package does not depend on where
# it was built.
if(NOT SHOEBOX_DEBIAN_FLAGS)
    return()
endif()
find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${DPKG_BUILDFLAGS} --get ${kind}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE flags
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    if(kind STREQUAL "LDFLAGS")
        add_link_options(${flags})
    else()
        add_compile_options(${flags})
    endif()
    message(STATUS "Debian's ${kind}: ${flags}")
endforeach()
