#!/usr/bin/env bash
# The speed table measured end to end, each row with its baseline from the same run, on a private
# Xvfb + openbox and a private session bus. Takes a few minutes (longer while starting with
# 100,000 rules is slow). Usage: bench/end_to_end.sh [build folder, default build]
# Needs a build with the benchmarks (libbenchmark-dev installed when it was configured).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
ombrel=$build/ombrel
probe=$build/bench/desktop/e2e_probe
switcher=$build/bench/settings/settings_window_start
for tool in "$ombrel" "$probe" "$build/bench/config/config_bench" \
  "$build/bench/engine/engine_bench" "$build/bench/desktop/window_move_bench" "$switcher"; do
  [ -x "$tool" ] || { echo "missing $tool: build everything first" >&2; exit 1; }
done

work=$(mktemp -d /tmp/ombrel-e2e-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The desktop: Xvfb on a free display, openbox, a session bus; nothing of the user's.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 500); do [ -s "$work/display" ] && break; sleep 0.01; done
export DISPLAY=":$(cat "$work/display")"
# Without openbox's own key bindings, which take Ctrl+Alt+arrows for itself.
cat >"$work/openbox.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><keyboard/><desktops><number>1</number></desktops>
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus></openbox_config>
XML
openbox --sm-disable --config-file "$work/openbox.xml" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 500); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.01
done
eval "$(dbus-daemon --session --fork --print-address=1 --print-pid=1 |
  { read -r address; read -r pid; echo "export DBUS_SESSION_BUS_ADDRESS='$address'; bus=$pid"; })"
pids+=("$bus")
export XDG_CONFIG_HOME=$work/config
settings=$XDG_CONFIG_HOME/Ombrel/config.json
mkdir -p "$(dirname "$settings")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

row() { printf '%-58s %s\n' "$1" "$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# CPU nanoseconds and context switches (voluntary + not) of every thread of a process; a thread
# that ends while they are read counts no more.
cpu_ns() {
  { cat /proc/"$1"/task/*/schedstat 2>/dev/null || true; } |
    awk '{ s += $1 } END { printf "%.0f\n", s }'
}
switches() {
  { cat /proc/"$1"/task/*/status 2>/dev/null || true; } |
    awk '/ctxt_switches/ { s += $2 } END { print s }'
}

# Starts ombrel with n rules, waiting at most the seconds given for its settings window; sets
# started (pid), start_ms (a number, or "timeout") and peak_kb.
start_ombrel() {
  "$probe" config "$settings" "$1"
  local t0
  t0=$(date +%s%N)
  "$ombrel" >/dev/null 2>&1 &
  started=$!
  pids+=("$started")
  read -r start_ms peak_kb < <("$probe" await "$t0" "$2" Ombrel "$started" || true)
}
stop_ombrel() {
  kill "$started" 2>/dev/null || true
  wait "$started" 2>/dev/null || true
}

# Waits (at most 60 s) until the process uses under 1% of a core over half a second.
settle() {
  local c0 c1
  for _ in $(seq 120); do
    c0=$(cpu_ns "$1"); sleep 0.5; c1=$(cpu_ns "$1")
    [ $((c1 - c0)) -lt 5000000 ] && return 0
  done
}

# Unbound keys typed while ombrel runs (F12; with "shift" as the second argument, Shift): CPU
# microseconds and wake-ups per key, less idle. The settings window is closed first, as it is
# while a person types elsewhere: open, it repaints as the probe's window comes and goes, which is
# no cost of the keys.
keystroke_cost() {
  local n=3000 c0 s0 t0 c1 s1 t1 idle_c idle_s
  "$probe" close Ombrel 2>/dev/null || true
  settle "$1"
  c0=$(cpu_ns "$1"); s0=$(switches "$1"); t0=$(date +%s%N)
  sleep 2
  c1=$(cpu_ns "$1"); s1=$(switches "$1"); t1=$(date +%s%N)
  idle_c=$(( (c1 - c0) * 1000000000 / (t1 - t0) ))  # per second
  idle_s=$(( (s1 - s0) * 1000000000 / (t1 - t0) ))
  c0=$(cpu_ns "$1"); s0=$(switches "$1"); t0=$(date +%s%N)
  "$probe" keys $n ${2:-}
  sleep 0.2
  c1=$(cpu_ns "$1"); s1=$(switches "$1"); t1=$(date +%s%N)
  awk -v c=$((c1 - c0)) -v s=$((s1 - s0)) -v t=$((t1 - t0)) -v ic="$idle_c" -v is="$idle_s" \
    -v n=$n 'BEGIN { printf "%.1f µs CPU and %.1f wake-ups per key", \
      (c - ic * t / 1e9) / n / 1000, (s - is * t / 1e9) / n }'
}

ms() { if [ "$1" = timeout ]; then echo "over $2 s"; else echo "$1 ms"; fi; }
mb() { echo "$(($1 / 1024)) MB"; }

echo "Ombrel end to end on $DISPLAY (Xvfb 1280x800 + openbox), $(nproc) cores, $(date -u +%FT%TZ)"
echo "Measuring; the table follows (a few minutes)." >&2

# --run against dbus-send, before any instance runs (nobody acts on the requests).
read -r run_us send_us < <("$probe" race 200 "$ombrel" --run leftHalf -- \
  dbus-send --session --type=signal /local/ombrel local.ombrel.run string:leftHalf)

# The starter set: start, memory, idle wake-ups, keys.
start_ombrel 10 60
starter_ms=$start_ms
starter_kb=$peak_kb
settle "$started"
s0=$(switches "$started")
sleep 20
s1=$(switches "$started")
idle_per_minute=$(( (s1 - s0) * 3 ))
starter_keys=$(keystroke_cost "$started")
starter_shift=$(keystroke_cost "$started" shift)
stop_ombrel

# Shortcut moves made by the probe's own hotkey tool (arguments: its mode): "median timeouts".
tool_moves() {
  "$probe" hotkey "$@" &
  local tool=$!
  pids+=("$tool")
  sleep 0.5
  "$probe" moves 100 key
  kill "$tool" 2>/dev/null || true
  wait "$tool" 2>/dev/null || true
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Shortcut moves in rounds, each figure beside its baselines from the same round, since the
# machine's pace drifts between rounds by more than the figures differ: the program by its starter
# shortcuts; a bare client asking for the move itself; a hotkey tool that reads the active window
# and asks for the move (the floor for shortcut moves); the same tool without the read (the key's
# trip alone, the floor for any shortcut move). Each is the median of 100 moves; printed are the
# medians over the rounds.
move_rounds=3
keys_us=() bares_us=() hotkeys_us=() blinds_us=() vs_bare=() vs_hotkey=() blind_vs_bare=()
move_timeouts=0
for _ in $(seq "$move_rounds"); do
  start_ombrel 10 60
  "$probe" close Ombrel 2>/dev/null || true
  settle "$started"
  read -r k kt < <("$probe" moves 100 key)
  read -r b bt < <("$probe" moves 100 bare)
  stop_ombrel
  read -r h ht < <(tool_moves)
  read -r l lt < <(tool_moves blind)
  keys_us+=("$k") bares_us+=("$b") hotkeys_us+=("$h") blinds_us+=("$l")
  vs_bare+=("$(ratio "$k" "$b")") vs_hotkey+=("$(ratio "$k" "$h")")
  blind_vs_bare+=("$(ratio "$l" "$b")")
  move_timeouts=$((move_timeouts + kt + bt + ht + lt))
done

# The floor for keys: a client that only reads every key press and release.
"$probe" listen &
listener=$!
pids+=("$listener")
sleep 0.5
listener_keys=$(keystroke_cost "$listener")
kill "$listener" 2>/dev/null || true
wait "$listener" 2>/dev/null || true

start_ombrel 10000 120
ten_keys=n/a
if [ "$start_ms" != timeout ]; then ten_keys=$(keystroke_cost "$started"); fi
stop_ombrel
# One start differs from the next by more than a tenth: the 10,000-rule start is taken against a
# starter-set start just before it, in rounds; printed are the medians.
starter_starts=() ten_starts=() ten_ratios=()
for _ in 1 2 3; do
  start_ombrel 10 60
  stop_ombrel
  s=$start_ms
  start_ombrel 10000 120
  stop_ombrel
  starter_starts+=("$s") ten_starts+=("$start_ms") ten_ratios+=("$(ratio "$start_ms" "$s")")
done

start_ombrel 100000 120
hundred_ms=$start_ms
hundred_kb=$peak_kb
hundred_keys=n/a
if [ "$start_ms" != timeout ]; then hundred_keys=$(keystroke_cost "$started"); fi
stop_ombrel

# The window's "Ombrel is on" switch flipped with the pointer: milliseconds until the file is
# saved, and the longest the window left a ping unanswered; medians of six flips.
flips() {
  "$switcher" --switch "$ombrel" "$1" 6 2>/dev/null |
    sed -E 's/.* after ([0-9]+) ms.* at most ([0-9]+) ms.*/\1 \2/' || true
}
read -r flip_starter_ms flip_starter_wait < <(flips 0)
read -r flip_ten_ms flip_ten_wait < <(flips 10000)

# Unit benchmarks: CPU time, the machine may be shared.
bench_cpu() {  # binary filter → name, CPU time and unit of each matching benchmark, medians
  "$1" --benchmark_filter="$2" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | awk -F, '/_median"?,/ { printf "%s %.3g %s\n", $1, $4, $5 }'
}
decode=$(bench_cpu "$build/bench/config/config_bench" 'BM_DecodeConfig/100000$')
fire=$(bench_cpu "$build/bench/engine/engine_bench" 'KeyDownFires/(10|100000)$')
fire10=$(awk 'NR == 1 { print $2 }' <<<"$fire")
fire100k=$(awk 'NR == 2 { print $2 }' <<<"$fire")
# name → real time in µs and round trips, medians of five runs.
moves=$("$build/bench/desktop/window_move_bench" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null | awk -F, '
  /^name,/ { gsub(/"/, ""); for (i = 1; i <= NF; i++) h[i] = $i; next }
  /_median"?,/ { for (i = 1; i <= NF; i++) if (h[i] == "round_trips") t = $i
                 gsub(/"/, "", $1); printf "%s %.0f %.1f\n", $1, $3, t }')
read -r _ bare_apply_us bare_trips < <(grep BareMoveResize <<<"$moves")
read -r _ apply_us apply_trips < <(grep WindowManagerApply <<<"$moves")

echo
row "start → settings window mapped, 10,000 rules" \
  "$(median "${ten_ratios[@]}")× the starter set ($(median "${ten_starts[@]}") against $(median "${starter_starts[@]}") ms; medians of 3 rounds)"
row "start, 100,000 rules" \
  "$(ms "$hundred_ms" 120), peak RSS $(mb "$hundred_kb") (starter set: $(ms "$starter_ms" 60), $(mb "$starter_kb"))"
row "toggle \"Ombrel is on\" → file saved, 10,000 rules" \
  "$flip_ten_ms ms, window unanswering ≤ $flip_ten_wait ms (starter set: $flip_starter_ms ms, ≤ $flip_starter_wait ms)"
row "decode 100,000 rules (benchmark, CPU)" "$(awk '{ print $2, $3 }' <<<"$decode")"
row "hotkey fire, 100,000 rules (engine benchmark, CPU)" \
  "$fire100k ns: $(ratio "$fire100k" "$fire10")× the 10-rule figure, $fire10 ns"
row "CPU per unbound keystroke, starter set" "$starter_keys"
row "  the same for a bare XInput 2 key listener (floor)" "$listener_keys"
row "  the same for Shift, a modifier (Qt and the drawing chords follow it)" "$starter_shift"
row "CPU per unbound keystroke, 10,000 rules" "$ten_keys"
row "CPU per unbound keystroke, 100,000 rules" "$hundred_keys"
row "shortcut → window moved, against a bare client" \
  "$(median "${vs_bare[@]}")× ($(median "${keys_us[@]}") µs against $(median "${bares_us[@]}") µs; medians of $move_rounds rounds, $move_timeouts timeouts in all)"
row "  the same against a bare hotkey tool (floor)" \
  "$(median "${vs_hotkey[@]}")× (against $(median "${hotkeys_us[@]}") µs)"
row "  a hotkey tool that reads nothing, against the bare client" \
  "$(median "${blind_vs_bare[@]}")× ($(median "${blinds_us[@]}") µs)"
row "WindowManager::apply, against a bare client (no shortcut)" \
  "$(ratio "$apply_us" "$bare_apply_us")× ($apply_us µs against $bare_apply_us µs; trips to the server per move $apply_trips against $bare_trips)"
row "ombrel --run leftHalf, against dbus-send" \
  "$(ratio "$run_us" "$send_us")× ($run_us µs against $send_us µs; $(ldd "$ombrel" | wc -l) shared libraries)"
row "idle wake-ups per minute, starter set" "$idle_per_minute"
