#!/bin/sh
# Runs a window test class on a virtual X screen (Xvfb) under a real window
# manager (openbox), which frames, places and activates the window as a desktop
# does. Exits 77 (skipped) when either is not installed.
# usage: run-under-wm.sh UI_TESTS CLASS
set -u
tests=$1
class=$2
for tool in Xvfb openbox; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/install-deps installs it)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'kill $wm $server 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
# Xvfb picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY
# openbox runs its startup command once it manages the screen.
openbox --sm-disable --startup "touch $work/ready" >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || { cat "$work/openbox.log"; echo "openbox did not start"; exit 1; }
# In the sanitizer build, the system libraries the xcb platform loads keep
# memory the leak checker would blame on the test.
LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan-system.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
QT_QPA_PLATFORM=xcb "$tests" "$class"
