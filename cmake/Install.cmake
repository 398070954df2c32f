# What `cmake --install` puts where, all below GNUInstallDirs destinations so
# that --prefix works: the program, its modules at the same place relative
# to it as in the build tree, its manual page, and what the desktop needs to
# offer it in its menu (desktop entry, AppStream metainfo, icons).

install(TARGETS shoebox_heif shoebox_video LIBRARY DESTINATION ${SHOEBOX_MODULE_INSTALL_DIR})

install(FILES ${CMAKE_SOURCE_DIR}/data/${SHOEBOX_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The release's version comes from the project.
configure_file(${CMAKE_SOURCE_DIR}/data/${SHOEBOX_COMPONENT_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/data/${SHOEBOX_COMPONENT_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/${SHOEBOX_COMPONENT_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Files compressed as Debian installs them: gzip at its best, without the
# name and time that would make each build's bytes differ.
function(shoebox_gzip source output)
    get_filename_component(folder ${output} DIRECTORY)
    string(REGEX REPLACE "\\.gz$" "" plain ${output})
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
        COMMAND gzip -9nf ${plain}
        DEPENDS ${source}
        VERBATIM)
endfunction()

# The manual page, with the release's version and date.
configure_file(${CMAKE_SOURCE_DIR}/docs/shoebox.1.in ${CMAKE_BINARY_DIR}/doc/shoebox.1 @ONLY)
shoebox_gzip(${CMAKE_BINARY_DIR}/doc/shoebox.1 ${CMAKE_BINARY_DIR}/doc/man1/shoebox.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/man1/shoebox.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# One drawing, the scalable icon; the fixed sizes are rendered from it.
set(SHOEBOX_ICON_SVG ${CMAKE_SOURCE_DIR}/data/icons/${SHOEBOX_DESKTOP_ID}.svg)
install(FILES ${SHOEBOX_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(RSVG_CONVERT rsvg-convert REQUIRED) # Debian package librsvg2-bin
set(SHOEBOX_ICON_SIZES 16 24 32 48 64 128 256)
set(icons)
foreach(size IN LISTS SHOEBOX_ICON_SIZES)
    set(folder ${CMAKE_BINARY_DIR}/icons/${size}x${size})
    set(png ${folder}/${SHOEBOX_DESKTOP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${SHOEBOX_ICON_SVG}
        DEPENDS ${SHOEBOX_ICON_SVG}
        COMMENT "Rendering the ${size}x${size} icon"
        VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(shoebox_icons ALL DEPENDS ${icons})
add_custom_target(shoebox_manual ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/man1/shoebox.1.gz)
