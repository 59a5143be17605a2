# Shared by scripts/test, scripts/run and scripts/bench: paths, build, X server.
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${ORVANE_BUILD_DIR:-$root/build}

configure_and_build() {
    local werror=OFF
    [ -n "${CI:-}" ] && werror=ON
    cmake -S "$root" -B "$build_dir" -G Ninja \
        -DCMAKE_BUILD_TYPE="${ORVANE_BUILD_TYPE:-RelWithDebInfo}" \
        -DORVANE_WARNINGS_AS_ERRORS="$werror" >/dev/null
    cmake --build "$build_dir" --parallel "$(nproc)"
}

# Lints every QML module; a warning fails the run.
lint_qml() {
    cmake --build "$build_dir" --target all_qmllint
}

# Starts Xvfb and openbox on a free display unless DISPLAY already works; exports
# DISPLAY and stops both when the calling script exits. Returns once the window
# manager manages the screen.
start_x_server() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in $(seq 91 190); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp +extension XTEST >/tmp/orvane-xvfb-$n.log 2>&1 &
    x_pids=($!)
    trap 'kill "${x_pids[@]}" 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    wait_for 30 xdpyinfo || { echo "Xvfb :$n did not start" >&2; return 1; }
    openbox >/tmp/orvane-openbox-$n.log 2>&1 &
    x_pids+=($!)
    wait_for 30 window_manager_running || { echo "openbox did not start" >&2; return 1; }
}

window_manager_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# wait_for SECONDS COMMAND...: polls the command until it succeeds or time runs out.
wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.1
    done
}
