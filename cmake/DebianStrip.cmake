# Run by cpack on the files it is about to package (CPACK_PRE_BUILD_SCRIPTS):
# strips the program and its modules as Debian's dh_strip does, dropping
# the debug information and the .comment and .note sections lintian calls
# unneeded (CPACK_STRIP_FILES keeps those). The modules also lose the
# symbols nothing links against (--strip-unneeded); they keep those the
# program looks up by name, which are dynamic symbols.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS files)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    file(READ "${file}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46") # "\x7fELF"
        continue()
    endif()
    set(options --remove-section=.comment --remove-section=.note)
    if(file MATCHES "\\.so$")
        list(APPEND options --strip-unneeded)
    endif()
    execute_process(COMMAND "${CPACK_SHOEBOX_STRIP}" ${options} "${file}" COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS "Stripped ${file}")
endforeach()
