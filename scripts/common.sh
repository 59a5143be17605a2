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
    # Xvfb picks a free display itself and names it once it accepts connections, so two
    # servers never race for one number (a display just given up may still be closing).
    local number_file
    number_file=$(mktemp)
    Xvfb -displayfd 1 -screen 0 1600x1000x24 -nolisten tcp +extension XTEST \
        >"$number_file" 2>"$number_file.log" &
    x_pids=($!)
    trap 'kill "${x_pids[@]}" 2>/dev/null || true' EXIT
    wait_for 30 test -s "$number_file" || { echo "Xvfb did not start" >&2; return 1; }
    DISPLAY=":$(head -n1 "$number_file")"
    export DISPLAY
    rm -f "$number_file" "$number_file.log"
    openbox >"/tmp/orvane-openbox${DISPLAY}.log" 2>&1 &
    x_pids+=($!)
    wait_for 30 window_manager_running || { echo "openbox did not start on $DISPLAY" >&2; return 1; }
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
