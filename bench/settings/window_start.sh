#!/usr/bin/env bash
# Start of the program until its settings window shows, with the starter set, 10,000 and
# 100,000 rules, then the "Ombrel is on" switch flipped until the file is saved, with the starter
# set and 10,000 rules, in a private X session (Xvfb, openbox) with a private session bus.
# Usage: bash bench/settings/window_start.sh [ombrel executable ...]  (default: build/ombrel)
set -euo pipefail
cd "$(dirname "$0")/../.."
tool=build/bench/settings/settings_window_start
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(build/ombrel)
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1440x900x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
read -r display <"$fifo"
rm -f "$fifo"
export DISPLAY=":$display"
openbox >/dev/null 2>&1 &
wm=$!
eval "$(dbus-launch --sh-syntax)"
trap 'kill $wm $DBUS_SESSION_BUS_PID $xvfb 2>/dev/null || true' EXIT
sleep 1
for program in "${programs[@]}"; do
  echo "$program"
  for rules in 0 10000 100000; do
    "$tool" "$program" "$rules" "$([ "$rules" -eq 100000 ] && echo 1 || echo 5)"
  done
  for rules in 0 10000; do
    "$tool" --switch "$program" "$rules" 6
  done
done
