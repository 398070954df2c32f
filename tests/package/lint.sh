#!/usr/bin/env bash
# Checks the package with Debian's own tools, as Debian would before taking
# it. Each mode exits 77 (CTest's skip) with a message where its tool is not
# installed (scripts/install-deps.sh --test installs both).
#   lint.sh manual PAGE     renders the manual page at 80 columns; any
#                           warning from man or groff fails
#   lint.sh lintian BUILD   builds the .deb from BUILD and runs lintian on it;
#                           any tag not overridden in the package fails
set -euo pipefail
mode=$1 input=$2
skip() {
    echo "SKIP: $1 is not installed (Debian package $2)"
    exit 77
}

case "$mode" in
manual)
    command -v man >/dev/null || skip man man-db
    errors=$(mktemp)
    trap 'rm -f "$errors"' EXIT
    page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$input" 2>"$errors")
    if [[ -s "$errors" ]]; then
        cat "$errors" >&2
        echo "FAIL: the manual page renders with warnings" >&2
        exit 1
    fi
    # Rendered at all, with its sections.
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS KEYS "EXIT STATUS" FILES; do
        grep -qx "$heading" <<<"$page" || { echo "FAIL: no section $heading" >&2 && exit 1; }
    done
    width=$(LC_ALL=C.UTF-8 wc -L <<<"$page")
    ((width <= 80)) || { echo "FAIL: lines $width columns wide" >&2 && exit 1; }
    echo "manual page ok"
    ;;
lintian)
    command -v lintian >/dev/null || skip lintian lintian
    scratch=$(mktemp -d /tmp/shoebox-lintian-XXXXXX)
    trap 'rm -rf "$scratch"' EXIT
    (cd "$scratch" && cpack --config "$input/CPackConfig.cmake" -B "$scratch/out" >/dev/null)
    deb=$(echo "$scratch"/out/shoebox_*.deb)
    [[ -f "$deb" ]] || { echo "FAIL: cpack made no .deb" >&2 && exit 1; }
    # Informational, experimental and pedantic tags too; lintian's note about
    # running as root goes to stderr and is not a tag.
    tags=$(lintian -I -E --pedantic "$deb")
    if [[ -n "$tags" ]]; then
        echo "$tags" >&2
        echo "FAIL: lintian tags above; fix each, or justify it in data/debian/lintian-overrides" >&2
        exit 1
    fi
    echo "lintian clean: $(basename "$deb")"
    ;;
*)
    echo "usage: $0 manual PAGE | lintian BUILD" >&2
    exit 2
    ;;
esac
