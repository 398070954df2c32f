# `cpack` builds a Debian package of what `cmake --install` installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shoebox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Shoebox developers")
set(CPACK_PACKAGE_CONTACT "The Shoebox developers <shoebox@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sort a folder of photos and videos by hand, fast")
set(CPACK_PACKAGE_DESCRIPTION
    "Shoebox shows the photos and short videos of a folder one at a time: type a name and press\n\
Return to move each into a destination folder under that name, or send it to the Trash.\n\
It shows JPEG, PNG, GIF, HEIC and MP4 or MOV videos.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/shoebox-photos/shoebox)

# The shared libraries the program and its modules link (Qt Widgets and
# Multimedia, libheif, GLib, ICU, the C++ runtime) are read from the
# binaries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What is loaded at run time by name, which dpkg-shlibdeps cannot see. Qt's
# X11 platform plugin and its JPEG and GIF readers come with libqt6gui6,
# which the above already names. Qt Multimedia plays MP4 and MOV through
# GStreamer; a phone's H.264 or HEVC with AAC sound takes, as measured with
# playbin: decodebin, videoconvert, audioresample and volume (base), qtdemux,
# aacparse and deinterlace (good), h264parse and h265parse (bad), and
# avdec_h264, avdec_h265 and avdec_aac (libav).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-libav")
# Native windows on Wayland (without it Qt runs through XWayland), the
# desktop's own file dialog on GNOME, and Qt's translations of its own
# dialogs and buttons (Shoebox's own are in the package).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-gtk-platformtheme, qt6-translations-l10n")

include(CPack)
