#!/usr/bin/env bash
# Checks that every text the window shows has its translation: lupdate reads
# the sources into a copy of each .ts file, which then must hold no entry
# marked unfinished (a new or changed text) and none marked vanished (a text
# the sources no longer have).
#   check-translations.sh TS_FILE...
# Environment from CTest: LUPDATE, SOURCE_DIR, SOURCES (folders, relative to
# SOURCE_DIR).
set -euo pipefail
scratch=$(mktemp -d /tmp/shoebox-translations-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
for ts in "$@"; do
    copy=$scratch/$(basename "$ts")
    cp "$ts" "$copy"
    # shellcheck disable=SC2086 # SOURCES is a list of folders
    (cd "$SOURCE_DIR" && "$LUPDATE" -silent -I . -locations none $SOURCES -ts "$copy")
    if grep -B3 -E 'type="(unfinished|vanished|obsolete)"' "$copy"; then
        echo "FAIL: $(basename "$ts") is not up to date: run the update_translations target and translate" \
            "what it marks unfinished (cmake/Translations.cmake)" >&2
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
