#!/usr/bin/env bash
# Installs the Debian 12 packages Shoebox needs to build and run, skipping
# those already present; --test adds what the full test run needs (clang and
# libFuzzer), --bench what the benchmark needs, --screenshot what
# scripts/screenshot.sh needs. Uses sudo when not root.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-qpa-plugins libgl-dev
    libheif-dev libglib2.0-dev libicu-dev libjpeg-dev libexif-dev
    libgtest-dev libgmock-dev
    # Video decoding for Qt Multimedia, and for video posters straight through GStreamer;
    # gst-launch-1.0 makes the videos the tests and the benchmark play.
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
    gstreamer1.0-tools
    # The icon's fixed sizes; the desktop entry and AppStream validators; the
    # Debian package's dependencies (dpkg-shlibdeps).
    librsvg2-bin desktop-file-utils appstream dpkg-dev
    # The move tests mount a FAT image through FUSE, as a USB stick would be;
    # the tests and the benchmark mount a slow disk of their own (libfuse 3).
    dosfstools fusefat fuse3 libfuse3-dev
)
for option in "$@"; do
    case "$option" in
    --test) packages+=(clang libclang-rt-dev) ;;
    # The baseline decoder.
    --bench) packages+=(libturbojpeg0-dev) ;;
    # A display without a screen, a window manager, drawing the sample
    # photos, typing and capturing.
    --screenshot) packages+=(xvfb xauth openbox imagemagick xdotool fonts-dejavu-core) ;;
    *) echo "install-deps: unknown option $option" >&2 && exit 2 ;;
    esac
done

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
