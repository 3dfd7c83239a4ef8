#!/usr/bin/env bash
# Sets up, builds and starts the RMZ-47 service tool.
#
#   scripts/run.sh              the tool against the virtual controller on a pseudo-terminal: nothing
#                               needs to be connected, the operator's own settings file is not touched
#   scripts/run.sh --hardware   the tool alone, on the operator's settings file and real serial port
set -euo pipefail

usage() {
    sed -n '2,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
}

mode=demo
case "${1:-}" in
    "") ;;
    --hardware) mode=hardware ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
esac

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh" rmz47 rmz47-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run.sh: no DISPLAY or WAYLAND_DISPLAY is set; the window needs a desktop session (or xvfb-run)." >&2
fi

if [ "$mode" = hardware ]; then
    exec "$build/bin/rmz47"
fi

# The demo keeps everything in a folder of its own: the simulator's log, the link to its pseudo-terminal,
# a settings file whose COM1 is that link, the journal and the line monitor's place.
demo="$build/demo"
# shellcheck source=scripts/demo-env.sh
source "$root/scripts/demo-env.sh"
demo_environment "$demo"
link="$demo/ttyRMZ47"
log="$demo/rmz47-sim.log"

# The controller's status is one row rewritten in place on this terminal: a message of ours takes that row
# and starts on a line of its own, and the status comes back below it.
say() {
    if [ -t 1 ]; then
        printf '\r\033[K'
    fi
    printf 'run.sh: %s\n' "$*"
}

# The demo's controller works as on site (--field) with its own configuration, one the form takes as it
# is: two runs, flow computers 1 and 2 (run 1 each) at 9600 bit/s, polled every 2 s with a 7 s answer
# time-out and 5 attempts, 1 m3 a pulse, pulse and pause 0.1 s. Its exchanges go to the log; its status
# (pulses, and per run volume and answers) is rewritten on this terminal once a second.
"$build/bin/rmz47-sim" --field --link "$link" >"$log" &
sim=$!
stop_sim() {
    if kill -0 "$sim" 2>/dev/null; then
        kill -TERM "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

for _ in $(seq 100); do
    [ -e "$link" ] && break
    if ! kill -0 "$sim" 2>/dev/null; then
        say "the virtual controller did not start; its log follows" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -e "$link" ]; then
    say "the virtual controller made no pseudo-terminal within 10 s; see $log" >&2
    exit 1
fi

# Written afresh every time, so a demo port given up in an earlier run is offered again.
cat >"$RMZ47_SETTINGS" <<INI
[rs 232]
COM Port=1
RTS=1

[ports]
COM1=$link
INI

say "virtual controller on $link (log: $log); settings, journal and window places in $demo"
say "press \"Конфигурирование контроллера\", OK, \"Записать\", OK; then \"Имитация ответов Сантар\", OK:"
say "the answers count up in the window, the controller's pulses on this terminal (after 10 s of quiet)"
status=0
"$build/bin/rmz47" || status=$?
exit "$status"
