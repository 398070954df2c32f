# `format` rewrites every tracked C++ file with the repository's
# .clang-format; `check-format` fails when any differs (CI runs it).
add_custom_target(format
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/format.sh
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Formatting the sources with clang-format"
    VERBATIM)
add_custom_target(check-format
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/format.sh --check
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Checking the sources against .clang-format"
    VERBATIM)
