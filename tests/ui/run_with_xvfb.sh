#!/usr/bin/env bash
# Runs a command with DISPLAY set to the test run's shared X server (see
# xvfb-display.sh; QM_XVFB_STATE names its state file), or else to a private
# X server (Xvfb, 24-bit colour, so that pixels read back from windows keep
# their exact colours), which it stops afterwards. Exits 77, which CTest counts as skipped,
# when no X server can be started.
#
#   run_with_xvfb.sh COMMAND [ARGS...]
set -u

skip() {
    echo "SKIPPED: $* - the window tests need an X server" >&2
    exit 77
}

# A server shared by the whole test run (tests/ui/xvfb-display.sh), when
# there is one.
if [ -n "${QM_XVFB_STATE:-}" ] && [ -s "$QM_XVFB_STATE" ]; then
    read -r shared_display shared_pid <"$QM_XVFB_STATE"
    if [ -n "${shared_pid:-}" ] && kill -0 "$shared_pid" 2>/dev/null; then
        DISPLAY=:$shared_display exec "$@"
    fi
fi

command -v Xvfb >/dev/null 2>&1 || skip "Xvfb is not installed (apt-get install xvfb)"

work=$(mktemp -d) || skip "no temporary folder"
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and writes its number once it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
done
display=$(tr -dc '0-9' <"$work/display" 2>/dev/null)
if [ -z "$display" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    cat "$work/xvfb.log" >&2
    xvfb_pid=
    skip "Xvfb did not start"
fi

DISPLAY=:$display "$@"
