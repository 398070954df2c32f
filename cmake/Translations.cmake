# The translations: translations/shoebox_LANG.ts, written with Qt Linguist's
# tools (Debian package qt6-l10n-tools). lrelease makes each into a .qm file
# in share/shoebox/translations, in the build tree as in an install, where
# the program finds them from its own folder. Qt's own translations (Debian
# package qt6-translations-l10n) are loaded from Qt's folder.
#
# After changing a text the window shows, bring the .ts files up to date:
#   cmake --build --preset release --target update_translations
# then translate what is marked unfinished (linguist, or by hand); the
# translations_complete test fails until every text is translated.
set(SHOEBOX_LANGUAGES de)

set(qt_tools ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS} /usr/lib/qt6/bin)
find_program(LRELEASE lrelease HINTS ${qt_tools} REQUIRED)
find_program(LUPDATE lupdate HINTS ${qt_tools} REQUIRED)

set(SHOEBOX_TRANSLATION_OUTPUT_DIR ${CMAKE_BINARY_DIR}/${SHOEBOX_TRANSLATION_INSTALL_DIR})
set(SHOEBOX_TS_FILES)
set(qm_files)
foreach(language IN LISTS SHOEBOX_LANGUAGES)
    set(ts ${CMAKE_SOURCE_DIR}/translations/shoebox_${language}.ts)
    set(qm ${SHOEBOX_TRANSLATION_OUTPUT_DIR}/shoebox_${language}.qm)
    add_custom_command(OUTPUT ${qm}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${SHOEBOX_TRANSLATION_OUTPUT_DIR}
        COMMAND ${LRELEASE} -silent ${ts} -qm ${qm}
        DEPENDS ${ts}
        COMMENT "Compiling the ${language} translation"
        VERBATIM)
    list(APPEND SHOEBOX_TS_FILES ${ts})
    list(APPEND qm_files ${qm})
endforeach()
add_custom_target(shoebox_translations ALL DEPENDS ${qm_files})
install(FILES ${qm_files} DESTINATION ${SHOEBOX_TRANSLATION_INSTALL_DIR})

# Every text of the window: the code of the parts that show any, and the
# interface description. The controller's texts are calls
# translate("Sorting", ...), which lupdate finds by itself.
set(SHOEBOX_TRANSLATED_SOURCES app sorting viewer)
add_custom_target(update_translations
    COMMAND ${LUPDATE} -silent -I ${CMAKE_SOURCE_DIR} -locations none -no-obsolete ${SHOEBOX_TRANSLATED_SOURCES} -ts ${SHOEBOX_TS_FILES}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "Updating the .ts files from the sources"
    VERBATIM)
