#!/usr/bin/env bash
# Builds the benchmarks in Release (build-rel/, or $RMZ_BENCH_BUILD_DIR) and runs them one after the
# other, then prints a summary of their figures. None of them is part of the test run.
#   bench/run-all.sh            Transact overhead, start-up, imitation turnaround and idle processor use,
#                               RTS hold, the line monitor (its memory with the ring full, bursts), the
#                               bench check's ten-step report, the command line's read, listen's load,
#                               imitate's turnaround and how exactly --for keeps its duration
#   bench/run-all.sh --soak     the same, then the imitation soak (100,000 requests, about 20 minutes)
# On a shared, busy machine the benchmarks run with a raised priority when that is allowed (root), so that
# they measure the tool rather than the queue for a processor.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_BENCH_BUILD_DIR:-$root/build-rel}
soak=0
[[ "${1:-}" == "--soak" ]] && soak=1

args=(-S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release)
command -v ccache >/dev/null 2>&1 && args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake "${args[@]}" >/dev/null || exit 1
cmake --build "$build" --target tool_window rmz47-sim empty_window startup_bench transact_bench imit_bench rts_hold_bench \
    monitor_bench report_bench cli_read_bench cli_bench cli_for_bench rmz47 soak || exit 1

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
prio=()
if nice -n -10 true 2>/dev/null; then
    prio=(nice -n -10)
fi
bin=$build/bin
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

status=0
run() { # name, command...
    local name=$1
    shift
    echo "== $name: $*"
    "${prio[@]}" "$@" 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2) | tee "$out/$name"
    local rc=${PIPESTATUS[0]}
    [[ $rc -ne 0 ]] && { echo "== $name: exit code $rc"; status=1; }
    echo
}

run transact "$bin/transact_bench" 30
run startup "$bin/startup_bench" 15
run imit "$bin/imit_bench"
run rts "$bin/rts_hold_bench"
run monitor "$bin/monitor_bench" --rows 200000
run report "$bin/report_bench"
run cli_read "$bin/cli_read_bench"
run cli "$bin/cli_bench"
run cli_for "$bin/cli_for_bench"
if [[ $soak -eq 1 ]]; then
    run soak "$bin/soak"
fi

echo "== summary (load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors${prio:+, raised priority})"
grep -h -e "worst median" -e "Transact\|RTS off\|RTS switched" "$out/transact" 2>/dev/null
grep -h -e "empty Qt" -e "one label" -e "rmz47 main" -e "tool /" "$out/startup" 2>/dev/null
grep -h -e "median" -e "idle" "$out/imit" 2>/dev/null
grep -h -e "bit/s" "$out/rts" 2>/dev/null
grep -h -e "rows after full" "$out/monitor" 2>/dev/null | sed -n '1p;$p'
grep -h -e "full ring" "$out/monitor" 2>/dev/null
grep -h -e "ten-step report" "$out/report" 2>/dev/null
grep -h -e "rmz47 read over" -e "rmz47 read after" "$out/cli_read" 2>/dev/null
grep -h -e "rmz47 listen --for" "$out/cli_for" 2>/dev/null
grep -h -e "listen " -e "window.s loop" -e "rmz47 imitate" "$out/cli" 2>/dev/null
[[ $soak -eq 1 ]] && grep -h -e "poller totals" -e "counters" -e "resident" -e "FAILED" "$out/soak" 2>/dev/null
exit $status
