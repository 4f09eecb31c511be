# Sourced by the benchmarks that time the program on an X screen: starts Xvfb (1920x1080) on
# `$display` with openbox, and points the program at it with settings in `$work` alone, so none
# are left from other runs. When the script ends, the program under test (`app`, when the script
# sets it), openbox and Xvfb are stopped and `$work` is removed.
#   needs: display, work
end_xsession() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap end_xsession EXIT
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & wm=$!
sleep 1
mkdir -m 700 "$work/run"
export QT_QPA_PLATFORM=xcb HOME=$work XDG_RUNTIME_DIR=$work/run
