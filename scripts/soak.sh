#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run: the controller against the simulated antenna control unit for ten minutes, on
# a virtual X display, with the line's faults switched at random every few seconds and the
# controller's commands clicked now and then as a user would (Get Antenna Information, the
# Signal Level label, satellites A and B, Restart). At the end it checks that the controller
# is still running, that its memory (RSS) has not grown more than 10 % since the warm-up,
# and that its window still answers: a click on Get Antenna Information reaches the unit.
# Not part of the test command.
#
#   scripts/soak.sh [SECONDS]      default 600; SOAK_SEED=N repeats a run's fault sequence
#
# Everything it records goes to build/soak/: soak.log (what was switched and clicked, and
# the figures), rss.csv (seconds, KiB), sim.log (every frame the unit took and sent),
# controller.log, and traffic.log (the controller's --log: both directions must be in it).
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ "${1:-}" != "--inner" ]; then
    ensure_packages "${RUN_PACKAGES[@]}" xvfb xauth xdotool
    build_main kelvandor-controller kelvandor-sim
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inner "$@"
fi
shift

SECONDS_TO_RUN="${1:-600}"
SEED="${SOAK_SEED:-$$}"
RANDOM="$SEED"
GROWTH_LIMIT_PCT=10
WARM_UP_SECONDS=20
TITLE='Kelvandor Antenna PC Controller'
# Faults as kelvandor-sim --control names them; "none" is a spell of a sound line.
FAULTS=(drop-replies corrupt-checksums split-frames garbage echo-delay silent hang-up flood
        none none)
# Safe clicks: none of them asks the user anything. Centres in dialog units of the main
# window (480 x 240): Get Antenna Information, Signal Level :, A, B, Restart.
CLICKS=("177 125" "37 134" "20 170" "20 188" "177 87")
CLICK_NAMES=("Get Antenna Information" "Signal Level" "A" "B" "Restart")

OUT="$ROOT/build/soak"
rm -rf "$OUT"
mkdir -p "$OUT/ports" "$OUT/data"
cp "$ROOT/data/city_E.gps" "$OUT/data/"
SOAK_LOG="$OUT/soak.log"
: >"$SOAK_LOG"
echo "seconds,rss_kib" >"$OUT/rss.csv"

say() {
    printf '%6ds  %s\n' "$SECONDS" "$*" | tee -a "$SOAK_LOG" >&2
}

sim_pid=""
controller_pid=""
cleanup() {
    [ -n "$controller_pid" ] && kill "$controller_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

# The unit takes its fault switches from a FIFO held open here, so it never sees the end.
mkfifo "$OUT/control"
exec 3<>"$OUT/control"
"$ROOT/build/sim/kelvandor-sim" --port-dir "$OUT/ports" --com 2 --verbose --control \
    <&3 >"$OUT/sim.log" 2>>"$SOAK_LOG" &
sim_pid=$!
for _ in $(seq 100); do
    [ -L "$OUT/ports/COM2" ] && break
    sleep 0.1
done
[ -L "$OUT/ports/COM2" ] || { say "the simulator made no COM2 link"; exit 1; }

CONTROLLER="$ROOT/build/src/shell/kelvandor-controller"
(cd "$OUT/data" && KELVANDOR_PORT_DIR="$OUT/ports" QT_QPA_PLATFORM=xcb \
    exec "$CONTROLLER" --log "$OUT/traffic.log") >"$OUT/controller.log" 2>&1 &
controller_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$TITLE" | head -n 1) || true
[ -n "$window" ] || { say "the controller's window did not appear"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"  # WIDTH, HEIGHT
say "seed $SEED; controller $controller_pid, window $window (${WIDTH}x${HEIGHT})" \
    "${controller_args[*]:+with ${controller_args[*]}}"

rss() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$controller_pid/status" 2>/dev/null || echo 0
}

# click N: clicks entry N of CLICKS in the window.
click() {
    local du
    read -r -a du <<<"${CLICKS[$1]}"
    xdotool mousemove --window "$window" $((du[0] * WIDTH / 480)) $((du[1] * HEIGHT / 240)) \
        click 1
}

switch() {
    echo "$1" >&3
    say "fault: $1"
}

received_queries() {
    grep -c '^<- QS$' "$OUT/sim.log" || true
}

# Warm-up: the window has shown every page's first answers before memory is measured.
click 0
sleep "$WARM_UP_SECONDS"
rss_start=$(rss)
rss_max=$rss_start
say "warm-up done: RSS $rss_start KiB"

current=none
switches=0
clicks=0
end=$((SECONDS + SECONDS_TO_RUN))
while [ "$SECONDS" -lt "$end" ]; do
    next=${FAULTS[$((RANDOM % ${#FAULTS[@]}))]}
    if [ "$current" != none ]; then
        switch "$current off"
    fi
    if [ "$next" != none ]; then
        switch "$next on"
    else
        say "fault: none"
    fi
    current=$next
    switches=$((switches + 1))
    hold=$((2 + RANDOM % 6))
    until=$((SECONDS + hold))
    while [ "$SECONDS" -lt "$until" ]; do
        if ! kill -0 "$controller_pid" 2>/dev/null; then
            say "the controller has ended"
            exit 1
        fi
        n=$((RANDOM % ${#CLICKS[@]}))
        click "$n"
        clicks=$((clicks + 1))
        echo "$SECONDS,$(rss)" >>"$OUT/rss.csv"
        sleep "1.$((RANDOM % 10))"
    done
    now=$(rss)
    [ "$now" -gt "$rss_max" ] && rss_max=$now
done
switch "all off"

# The window still answers: a click reaches the unit (once the line is back, which after a
# hang-up takes the controller a second or two).
answered=no
for _ in $(seq 20); do
    before=$(received_queries)
    click 0
    sleep 1
    if [ "$(received_queries)" -gt "$before" ]; then
        answered=yes
        break
    fi
done

alive=no
kill -0 "$controller_pid" 2>/dev/null && alive=yes
rss_end=$(rss)
[ "$rss_end" -gt "$rss_max" ] && rss_max=$rss_end
growth=$(awk -v a="$rss_start" -v b="$rss_end" 'BEGIN { printf "%.1f", (a > 0 ? 100 * (b - a) / a : 0) }')
commands=$(grep -c '^<- ' "$OUT/sim.log" || true)
sent=$(grep -c '^-> ' "$OUT/sim.log" || true)
say "ran ${SECONDS_TO_RUN}s: $switches fault spells, $clicks clicks; the unit took $commands" \
    "commands and sent $sent frames"
say "controller alive: $alive; window answers: $answered"
say "RSS after warm-up $rss_start KiB, at the end $rss_end KiB (${growth} %), highest $rss_max KiB"
logged_sent=$(grep -c '^[-0-9]* [:.0-9]* -> ' "$OUT/traffic.log" 2>/dev/null || true)
logged_received=$(grep -c '^[-0-9]* [:.0-9]* <- ' "$OUT/traffic.log" 2>/dev/null || true)
say "the controller's traffic log holds ${logged_sent:-0} frames sent and ${logged_received:-0}" \
    "received (the unit took $commands and sent $sent)"

ok=yes
[ "$alive" = yes ] || ok=no
[ "$answered" = yes ] || ok=no
[ "${logged_sent:-0}" -gt 0 ] && [ "${logged_received:-0}" -gt 0 ] || ok=no
awk -v g="$growth" -v l="$GROWTH_LIMIT_PCT" 'BEGIN { exit !(g <= l) }' || ok=no
if [ "$ok" = yes ]; then
    say "soak passed"
else
    say "soak FAILED"
    exit 1
fi
