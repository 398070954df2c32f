#!/usr/bin/env bash
# For developers, after installing the package: starts Shoebox from its
# installed desktop entry as a desktop's menu does (gio launch), on a screen
# of its own (Xvfb), and checks that its window appears. The last step of the
# check on a new Debian 12 (CONTRIBUTING.md).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package --desktop

entry=/usr/share/applications/io.github.shoebox.Shoebox.desktop
if [[ ! -f "$entry" ]]; then
    echo "desktop-start: $entry is not installed" >&2
    exit 1
fi

work=$(mktemp -d /tmp/shoebox-desktop-start-XXXXXX)
pids=()
# Last in, first out: Shoebox (which saves its settings as it closes, in the
# home about to be removed) before its screen, each waited for.
cleanup() {
    local i pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    done
    rm -rf "$work"
}
trap cleanup EXIT

# A new user: no settings yet.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR" # a desktop session's own (a chroot has none)
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

gio launch "$entry"
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Shoebox$' | head -1 || true)
if [[ -z "$window" ]]; then
    echo "desktop-start: no Shoebox window appeared within a minute" >&2
    exit 1
fi
pids+=("$(xdotool getwindowpid "$window")")
echo "Shoebox started from $entry: $(xdotool getwindowgeometry "$window" | tr -s '\n ' ' ')"
