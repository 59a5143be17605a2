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
# DISPLAY and stops both when the calling script exits.
start_x_server() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp +extension XTEST >/tmp/orvane-xvfb-$n.log 2>&1 &
    x_pids=($!)
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    openbox >/tmp/orvane-openbox-$n.log 2>&1 &
    x_pids+=($!)
    trap 'kill "${x_pids[@]}" 2>/dev/null || true' EXIT
    sleep 0.5
}
