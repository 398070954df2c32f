#!/usr/bin/env bash
# For developers, not needed to build or run Shoebox: runs a command on a
# freshly bootstrapped Debian 12, as a new user's machine would be, to prove
# that the README's commands install everything they call. A green run here
# and a red one there means scripts/install-deps.sh misses a package that
# the developers' machines happen to have.
#
#   scripts/fresh-root.sh ROOT COMMAND...
#
# ROOT/base is a minimal Debian 12 (debootstrap --variant=minbase), made once
# and never changed. Each run copies it to ROOT/run, clones the committed
# HEAD of this checkout into /root/shoebox there, and runs COMMAND with bash
# in that folder, as root, in a chroot with /proc, /sys and /dev bound, the
# way a terminal on a new machine would. --reuse keeps ROOT/run from the run
# before (quicker when trying things, but no longer fresh). Every stage
# prints how long it took. Needs root, debootstrap and a network.
#   MIRROR  the Debian mirror (default: http://deb.debian.org/debian)
set -euo pipefail

reuse=false
if [[ "${1:-}" == "--reuse" ]]; then
    reuse=true
    shift
fi
if [[ $# -lt 2 ]]; then
    echo "usage: $0 [--reuse] ROOT COMMAND..." >&2
    exit 2
fi
root=$(realpath -m "$1")
shift
mirror=${MIRROR:-http://deb.debian.org/debian}
repo=$(cd "$(dirname "$0")/.." && pwd)
run=$root/run

if [[ "$(id -u)" -ne 0 ]]; then
    echo "fresh-root: needs root (debootstrap, mount, chroot)" >&2
    exit 2
fi
case "$root/" in
"$repo"/*) echo "fresh-root: keep ROOT outside the repository" >&2 && exit 2 ;;
esac

source "$repo/scripts/lib/stage.sh"

bootstrap() {
    command -v debootstrap >/dev/null || {
        echo "fresh-root: debootstrap is not installed (apt-get install debootstrap)" >&2
        return 1
    }
    rm -rf "$root/base.partial"
    mkdir -p "$root"
    debootstrap --variant=minbase bookworm "$root/base.partial" "$mirror"
    # The updates and security suites a Debian installer sets up too.
    cat >"$root/base.partial/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
    # Packages installed in a chroot must not start services on the host.
    printf '#!/bin/sh\nexit 101\n' >"$root/base.partial/usr/sbin/policy-rc.d"
    chmod 755 "$root/base.partial/usr/sbin/policy-rc.d"
    mv "$root/base.partial" "$root/base"
}

# Mounts left below ROOT/run by a run that was killed: removing the folder
# with /dev still bound in it would remove the host's device files.
leftover_mounts() { awk -v r="$run" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r; }

copy() {
    local mount
    for mount in $(leftover_mounts); do umount -R -l "$mount" || true; done
    if [[ -n "$(leftover_mounts)" ]]; then
        echo "fresh-root: still mounted below $run:" $(leftover_mounts) >&2
        return 1
    fi
    rm -rf --one-file-system "$run"
    cp -a "$root/base" "$run"
}

clone() {
    rm -rf "$run/root/shoebox"
    git clone --quiet --no-hardlinks "$(git -C "$repo" rev-parse --path-format=absolute --git-common-dir)" \
        "$run/root/shoebox"
    git -C "$run/root/shoebox" checkout --quiet "$(git -C "$repo" rev-parse HEAD)"
    echo "cloned $(git -C "$run/root/shoebox" log -1 --format='%h %s')"
}

mounted=()
unmount() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${mounted[i]}" 2>/dev/null || umount -R -l "${mounted[i]}" || true
    done
    mounted=()
}
trap unmount EXIT

bind() {
    local folder
    for folder in proc sys dev; do
        mkdir -p "$run/$folder"
        mount --rbind "/$folder" "$run/$folder"
        mount --make-rslave "$run/$folder"
        mounted+=("$run/$folder")
    done
    cp -L /etc/resolv.conf "$run/etc/resolv.conf"
}

[[ -d "$root/base" ]] || stage "bootstrap Debian 12 (minbase) into $root/base" bootstrap
if ! $reuse || [[ ! -d "$run" ]]; then
    stage "copy the fresh root to $run" copy
fi
stage "clone $(git -C "$repo" rev-parse --short HEAD) into /root/shoebox" clone
bind
stage "run: $*" chroot "$run" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /root/shoebox && eval "$1"' bash "$*"
