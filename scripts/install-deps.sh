#!/usr/bin/env bash
# Installs the Debian 12 packages Shoebox needs to build and run, skipping
# those already present: every command the build, the tests, the package and
# the scripts call comes from this one list. --package installs only what
# building the Debian package needs (cmake --workflow --preset package);
# --test adds what the full test run needs (clang and libFuzzer, clang-tidy,
# lintian, man), --bench what the benchmark needs, --screenshot what
# scripts/screenshot.sh needs, --desktop what scripts/desktop-start.sh needs,
# --tidy what scripts/tidy.sh needs. Uses sudo when not root.
#
# A minimal Debian 12 lacks more than a developer's machine does (`file`,
# `git`, `man`): check a change to this list with scripts/fresh-root.sh
# (CONTRIBUTING.md says how).
set -euo pipefail

# Building the program and its package.
package=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-qpa-plugins libgl-dev
    # The translations: lupdate and lrelease.
    qt6-l10n-tools
    libheif-dev libglib2.0-dev libicu-dev libjpeg-dev libexif-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    # The icon's fixed sizes.
    librsvg2-bin
    # Debian's build flags (dpkg-buildflags) and the package's dependencies:
    # CPack runs `file` on each installed file, then dpkg-shlibdeps.
    dpkg-dev file
)
# Running it from the build tree, and the release build with its tests.
develop=(
    # Video decoding for Qt Multimedia, and for video posters and what a video
    # says of itself (the discoverer) straight through GStreamer; gst-launch-1.0
    # makes the videos the tests and the benchmark play.
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
    gstreamer1.0-tools
    libgtest-dev libgmock-dev
    # The format check (scripts/format.sh formats the files git tracks).
    clang-format git
    # The desktop entry and AppStream validators.
    desktop-file-utils appstream
    # The move tests mount a FAT image through FUSE, as a USB stick would be;
    # the tests and the benchmark mount a slow disk of their own (libfuse 3).
    dosfstools fusefat fuse3 libfuse3-dev
    # Qt's own translations, for its dialogs (the package recommends them);
    # the German window test reads them, and makes a de_DE.UTF-8 locale
    # (localedef) for the C library's German messages.
    qt6-translations-l10n locales
)
packages=()
only_package=false
for option in "$@"; do
    case "$option" in
    --package) only_package=true ;;
    # The fuzz targets; clang-tidy (scripts/tidy.sh, 16 as below); the
    # package's check (lintian) and its manual page's (man, with groff).
    --test) packages+=(clang libclang-rt-dev clang-tidy-16 lintian man-db) ;;
    # The baseline decoder.
    --bench) packages+=(libturbojpeg0-dev) ;;
    # clang-tidy (scripts/tidy.sh): 16, as 14 cannot parse GCC 12's <expected>.
    --tidy) packages+=(clang-tidy-16) ;;
    # A display without a screen, a window manager, drawing the sample
    # photos, typing and capturing.
    --screenshot) packages+=(xvfb xauth openbox imagemagick xdotool fonts-dejavu-core) ;;
    # A display without a screen, and starting the installed program from
    # its desktop entry as a menu does (scripts/desktop-start.sh).
    --desktop) packages+=(xvfb xdotool libglib2.0-bin) ;;
    *) echo "install-deps: unknown option $option" >&2 && exit 2 ;;
    esac
done
packages+=("${package[@]}")
$only_package || packages+=("${develop[@]}")

missing=()
for p in "${packages[@]}"; do
    if [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]]; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ "$(id -u)" -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
