# Sourced by the scripts that run in stages: `stage NAME COMMAND...` runs
# COMMAND, prints how long it took, and ends the script if it failed.
stage() {
    local name=$1 start=$SECONDS
    shift
    echo "==> $name"
    if ! "$@"; then
        echo "==> FAILED: $name (after $((SECONDS - start)) s)" >&2
        exit 1
    fi
    echo "==> $name: done in $((SECONDS - start)) s"
}
