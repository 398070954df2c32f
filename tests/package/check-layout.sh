#!/usr/bin/env bash
# Checks an installed Shoebox: every file where the desktop and the program
# look for it, and nothing else.
#   check-layout.sh install BUILD_DIR   installs the build into a scratch prefix
#   check-layout.sh deb BUILD_DIR       builds the .deb, unpacks it into a
#                                       scratch root and checks its Depends too
# Environment from CTest: DESKTOP_ID, COMPONENT_ID (AppStream), BINDIR,
# MODULE_DIR (install-relative), MODULE_RELATIVE_DIR (as the program finds it
# from BINDIR), ICON_SIZES, TRANSLATION_DIR (install-relative), LANGUAGES.
set -euo pipefail
mode=$1 build=$2
scratch=$(mktemp -d /tmp/shoebox-layout-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

case "$mode" in
install)
    prefix=$scratch/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null
    ;;
deb)
    (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null)
    deb=$(echo "$scratch"/out/shoebox_*.deb)
    [[ -f "$deb" ]] || { echo "FAIL: cpack made no .deb" >&2; exit 1; }
    dpkg-deb -x "$deb" "$scratch/root"
    prefix=$scratch/root/usr
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    # Linked libraries, found by dpkg-shlibdeps, and the run-time plugins.
    for package in libqt6widgets6 libqt6gui6 libqt6core6 libqt6multimedia6 libheif1 libglib2.0-0 libc6 \
        gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav; do
        [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
            fail "Depends lacks $package"
    done
    [[ "$(dpkg-deb -f "$deb" Package)" == shoebox ]] || fail "package name"
    # Nothing outside /usr.
    extra=$(find "$scratch/root" -mindepth 1 -maxdepth 1 ! -name usr)
    [[ -z "$extra" ]] || fail "files outside /usr: $extra"
    # No maintainer scripts: CPack adds ldconfig calls for libraries in the
    # linker's folders, which the private modules must stay out of.
    scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v -x -e ./ -e ./control -e ./md5sums || true)
    [[ -z "$scripts" ]] || fail "maintainer scripts in the package: $scripts"
    # The changelog's newest entry is this version (a version bump needs one).
    version=$(dpkg-deb -f "$deb" Version)
    changelog=$(gzip -dc "$scratch/root/usr/share/doc/shoebox/changelog.Debian.gz" 2>/dev/null | dpkg-parsechangelog -l - -S Version || true)
    [[ "$changelog" == "$version" ]] || fail "package $version, changelog.Debian.gz '$changelog'"
    ;;
*)
    echo "usage: $0 install|deb BUILD_DIR" >&2
    exit 2
    ;;
esac

expected=(
    "$BINDIR/shoebox"
    "$MODULE_DIR/libshoebox_heif.so"
    "$MODULE_DIR/libshoebox_video.so"
    "share/applications/$DESKTOP_ID.desktop"
    "share/metainfo/$COMPONENT_ID.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$DESKTOP_ID.svg"
    share/man/man1/shoebox.1.gz
    share/doc/shoebox/copyright
    share/doc/shoebox/changelog.Debian.gz
    share/lintian/overrides/shoebox
)
for language in $LANGUAGES; do
    expected+=("$TRANSLATION_DIR/shoebox_$language.qm")
done
for size in $ICON_SIZES; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$DESKTOP_ID.png")
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$DESKTOP_ID.png
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    if [[ -f "$png" ]]; then
        read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
            awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
        [[ "$width" == "$size" && "$height" == "$size" ]] || fail "$png is ${width}x${height}"
    fi
done
# Exactly these files: nothing missing, nothing stray.
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
    fail "installed files differ from the list above (< expected, > installed)"

[[ -x "$prefix/$BINDIR/shoebox" ]] || fail "shoebox is not executable"
# The program finds its modules at this path from its own folder.
[[ -f "$prefix/$BINDIR/$MODULE_RELATIVE_DIR/libshoebox_heif.so" ]] ||
    fail "the modules are not at $MODULE_RELATIVE_DIR from $BINDIR"
"$prefix/$BINDIR/shoebox" --version | grep -q '^shoebox ' || fail "shoebox --version"
# And its translations from there: German is used when LANG names it.
LANG=de_DE.UTF-8 LC_ALL='' LC_MESSAGES='' LANGUAGE='' "$prefix/$BINDIR/shoebox" --help | grep -q '^Aufruf: shoebox' ||
    fail "the installed program does not find its German translation"

entry=$prefix/share/applications/$DESKTOP_ID.desktop
desktop-file-validate "$entry" || fail "desktop entry is not valid"
grep -qx "Icon=$DESKTOP_ID" "$entry" || fail "desktop entry names another icon"
grep -Eqx 'Exec=shoebox %[fU]' "$entry" || fail "desktop entry runs another program, or takes no file"
# A file manager offers Open With for folders and for the types it shows.
for type in inode/directory image/jpeg image/png image/gif image/heic image/heif video/mp4 video/quicktime; do
    grep -Eq "^MimeType=(.*;)?$type;" "$entry" || fail "desktop entry lacks MimeType $type"
done
metainfo=$prefix/share/metainfo/$COMPONENT_ID.metainfo.xml
grep -q "<id>$COMPONENT_ID</id>" "$metainfo" || fail "metainfo is named after another id"
grep -q "<launchable type=\"desktop-id\">$DESKTOP_ID.desktop</launchable>" "$metainfo" ||
    fail "metainfo launches another desktop entry"
# The manual page and the licences are the ones written for Debian.
gzip -dc "$prefix/share/man/man1/shoebox.1.gz" 2>/dev/null | grep -q '^\.TH SHOEBOX 1 ' || fail "shoebox.1.gz is no manual page"
head -1 "$prefix/share/doc/shoebox/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright is not machine-readable"

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "layout ok ($mode)"
