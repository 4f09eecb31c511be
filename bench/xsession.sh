# Sourced by the benchmarks that time the program on an X screen: starts Xvfb (1920x1080) on
# `$display` with openbox, and points the program at it with settings in `$work` alone, so none
# are left from other runs. Sets `xvfb` and `wm` to their process ids for the caller's cleanup.
#   needs: display, work
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & wm=$!
sleep 1
mkdir -m 700 "$work/run"
export QT_QPA_PLATFORM=xcb HOME=$work XDG_RUNTIME_DIR=$work/run
