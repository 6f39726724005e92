#!/usr/bin/env bash
# One X server (Xvfb) shared by every window test of a test run, so that the
# Wine processes a test leaves running (Wine's desktop process stays up for a
# while after a program ends) never hold a connection to a server that has
# already gone: a second server per test broke the next test's windows.
#
#   xvfb-display.sh start STATE [PREFIX]   starts the server, writes
#                                          "DISPLAY PID"
#   xvfb-display.sh stop STATE [PREFIX]    stops it and removes STATE
#
# PREFIX is the Wine prefix that the window tests run in. Its Wine server,
# and with it Wine's desktop process, is stopped before the X server starts
# and before it stops: the desktop of a prefix draws through the display it
# was started with, so one left from an earlier run (tied to a display that
# has gone, or to none) would keep every window test from making windows.
#
# CTest runs "start" as the setup and "stop" as the cleanup of the window
# tests' fixture; tests/ui/run_with_xvfb.sh uses the server named in the
# file that QM_XVFB_STATE names. Without Xvfb, "start" writes nothing and
# succeeds, and each test then decides for itself (it skips).
set -u

usage() { echo "usage: xvfb-display.sh start|stop STATE [WINEPREFIX]" >&2; exit 2; }
[ $# -eq 2 ] || [ $# -eq 3 ] || usage
action=$1
state=$2
prefix=${3:-}
wine_run=$(cd "$(dirname "$0")/../.." && pwd)/cmake/wine-run.sh

# Stops the window tests' Wine server and every program of the prefix, when
# the prefix exists (the runner would make a missing one first).
stop_wine() {
    [ -n "$prefix" ] && [ -f "$prefix/.quillmend-ready" ] || return 0
    QM_WINEPREFIX=$prefix "$wine_run" --wineserver -k </dev/null >/dev/null 2>&1
    QM_WINEPREFIX=$prefix "$wine_run" --wineserver -w </dev/null >/dev/null 2>&1
    return 0
}

stop() {
    if [ -s "$state" ]; then
        read -r _ pid <"$state"
        if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null
            for _ in $(seq 1 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
        fi
    fi
    rm -f "$state"
}

case $action in
start)
    stop_wine
    stop
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "Xvfb is not installed; the window tests will skip" >&2
        exit 0
    fi
    fifo_dir=$(mktemp -d) || exit 1
    # Detached from the test's process group, so that CTest does not wait
    # for it; it lives until "stop".
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$fifo_dir/display" >"$fifo_dir/xvfb.log" 2>&1 </dev/null &
    pid=$!
    for _ in $(seq 1 200); do
        [ -s "$fifo_dir/display" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    display=$(tr -dc '0-9' <"$fifo_dir/display" 2>/dev/null)
    if [ -z "$display" ] || ! kill -0 "$pid" 2>/dev/null; then
        cat "$fifo_dir/xvfb.log" >&2
        rm -rf "$fifo_dir"
        echo "Xvfb did not start; the window tests will skip" >&2
        exit 0
    fi
    rm -rf "$fifo_dir"
    echo "$display $pid" >"$state"
    echo "Xvfb on :$display (pid $pid)"
    ;;
stop)
    stop_wine
    stop
    ;;
*)
    usage
    ;;
esac
