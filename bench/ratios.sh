#!/usr/bin/env bash
# The serial driver and the port against a plain poll()/read() loop, as ratios taken in the same
# run: bench_serial_driver and bench_port_events, each run N times with both ends pinned to one
# core (taskset) and N times unpinned, for this tree ("after") and for the libraries of an earlier
# commit built with this tree's benchmark sources ("before"); then a table: median [min-max].
#
#   bench/ratios.sh [--runs N] [--before COMMIT | --no-before] [--build DIR] [--cpu N]
#   bench/ratios.sh --instructions [--before COMMIT | --no-before] [--build DIR]
#
# --instructions counts user-space instructions under valgrind --tool=callgrind instead (they do
# not depend on the machine's load): each receiver alone, at two sizes, the difference per byte,
# round trip or echo (both ends of the pty together, the far end's share being the same for all).
#
# Defaults: 5 runs, before = 4c7314f (the port before its fast-path work), build dir build/.
# The before libraries are built in DIR/ratios-before from a temporary worktree, removed again.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
before=4c7314f
build=$root/build
cpu=0
instructions=
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift 2 ;;
    --before) before=$2; shift 2 ;;
    --no-before) before=; shift ;;
    --build) build=$(realpath -m "$2"); shift 2 ;;
    --cpu) cpu=$2; shift 2 ;;
    --instructions) instructions=1; shift ;;
    *) echo "usage: $0 [--runs N] [--before COMMIT | --no-before] [--build DIR] [--cpu N]" >&2; exit 2 ;;
    esac
done

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
targets=(--target bench_serial_driver --target bench_port_events)
sources=(bench/platform/serial_driver.cpp bench/port/port_events.cpp)
# Helpers the benchmark sources may share, copied along.
[ -d "$root/bench/common" ] && sources+=($(cd "$root" && find bench/common -type f | sort))

echo "building the benchmarks of this tree in $build" >&2
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 "${targets[@]}" >/dev/null

variants=(after)
if [ -n "$before" ]; then
    variants+=(before)
    bdir=$build/ratios-before
    stamp=$(git -C "$root" rev-parse "$before"; cat "${sources[@]/#/$root/}" | sha1sum)
    if [ "$(cat "$bdir/stamp" 2>/dev/null)" != "$stamp" ]; then
        echo "building the libraries of $before with these benchmark sources in $bdir" >&2
        src=$bdir/src
        mkdir -p "$bdir"
        git -C "$root" worktree remove --force "$src" 2>/dev/null || rm -rf "$src"
        git -C "$root" worktree add --detach "$src" "$before" >/dev/null 2>&1
        for f in "${sources[@]}"; do
            mkdir -p "$(dirname "$src/$f")"
            cp "$root/$f" "$src/$f"
        done
        cmake -S "$src" -B "$bdir/build" "${launcher[@]}" >/dev/null
        cmake --build "$bdir/build" -j2 "${targets[@]}" >/dev/null
        git -C "$root" worktree remove --force "$src"
        echo "$stamp" >"$bdir/stamp"
    fi
fi

bin() { # variant name
    if [ "$1" = after ]; then echo "$build/bench/$2"; else echo "$build/ratios-before/build/bench/$2"; fi
}

if [ -n "$instructions" ]; then
    command -v valgrind >/dev/null || { echo "valgrind is needed for --instructions" >&2; exit 1; }
    irefs() { # binary args...: total instructions of one run
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
            sed -n 's/.*refs: *//p' | tr -d ,
    }
    # per-unit count: (instructions at 2N - instructions at N) / N units
    per() { # unit-count binary args-with-@N@...
        local n=$1 bin=$2
        shift 2
        local a b
        a=$(irefs "$bin" "${@//@N@/$n}")
        b=$(irefs "$bin" "${@//@N@/$((2 * n))}")
        echo $(((b - a) / n))
    }
    printf '%-44s' "user-space instructions, both ends"
    for v in "${variants[@]}"; do printf ' %12s' "$v"; done
    echo
    row() { # label unit-count bench args...
        local label=$1 n=$2 name=$3
        shift 3
        printf '%-44s' "$label"
        for v in "${variants[@]}"; do
            echo "$label: $v" >&2
            printf ' %12s' "$(per "$n" "$(bin $v "$name")" "$@")"
        done
        echo
    }
    row "driver bench: plain loop, per MiB received" 4 bench_serial_driver --only throughput \
        --receiver plain --mib @N@
    row "driver bench: driver, per MiB received" 4 bench_serial_driver --only throughput \
        --receiver driver --mib @N@
    row "driver bench: plain loop, per round trip" 800 bench_serial_driver --only latency \
        --receiver plain --trips @N@
    row "driver bench: driver, per round trip" 800 bench_serial_driver --only latency \
        --receiver driver --trips @N@
    for m in plain none sync; do
        row "port bench: $m, per MiB received" 4 bench_port_events --only throughput --mode $m \
            --mib @N@
    done
    for m in plain none sync; do
        row "port bench: $m, per echoed byte" 1000 bench_port_events --only echo --mode $m \
            --rounds @N@
    done
    exit 0
fi

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for ((i = 1; i <= runs; i++)); do
    for pin in pinned unpinned; do
        prefix=()
        [ $pin = pinned ] && prefix=(taskset -c "$cpu")
        # After and before alternate so that both see the same load.
        for v in "${variants[@]}"; do
            echo "run $i/$runs $pin $v" >&2
            {
                "${prefix[@]}" "$(bin $v bench_serial_driver)" --mib 32 --trips 8000 \
                    --idle-seconds 0 --raw
                "${prefix[@]}" "$(bin $v bench_port_events)" --mib 32 --rounds 8000 \
                    --idle-seconds 0 --raw
            } | sed -n "s/^\([a-z_.0-9]*\)=\(.*\)$/$v $pin \1 \2/p" >>"$results"
        done
    done
done
for v in "${variants[@]}"; do
    echo "idle $v" >&2
    "$(bin $v bench_port_events)" --only idle --idle-seconds 3 --raw |
        sed -n "s/^\([a-z_.0-9]*\)=\(.*\)$/$v idle \1 \2/p" >>"$results"
done

python3 - "$results" "$runs" <<'EOF'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
data = {}
for variant, pin, key, value in rows:
    data.setdefault((key, pin, variant), []).append(float(value))
metrics = [
    ("driver.rx.cpu", "driver receive CPU/byte", "pinned <= 1.1"),
    ("driver.pingpong.p50", "driver ping-pong p50", "<= 1.1"),
    ("driver.pingpong.p99", "driver ping-pong p99", "<= 1.2"),
    ("port.rx.none.cpu", "port smNone receive CPU/byte", "<= 1.05"),
    ("port.rx.sync.cpu", "port smThreadSync receive CPU/byte", "<= 1.2"),
    ("port.echo.none.p50", "echo smNone p50", "pin 1.1, unpin 1.3"),
    ("port.echo.none.p99", "echo smNone p99", "unpin 1.3"),
    ("port.echo.none.cpu", "echo smNone CPU/echoed byte", "pin 1.3, unpin 1.5"),
    ("port.echo.sync.p50", "echo smThreadSync p50", ""),
    ("port.echo.sync.p99", "echo smThreadSync p99", ""),
    ("port.echo.sync.cpu", "echo smThreadSync CPU/echoed byte", ""),
    ("driver.rx.plain_ns_per_byte", "plain loop receive ns CPU/byte", "(absolute)"),
    ("driver.pingpong.plain_p50_us", "plain loop ping-pong p50 us", "(absolute)"),
    ("port.echo.plain_p50_us", "plain loop echo p50 us", "(absolute)"),
]
variants = [v for v in ("after", "before") if any(k[2] == v for k in data)]
def cell(values):
    if not values:
        return "-"
    return "%.2f [%.2f-%.2f]" % (statistics.median(values), min(values), max(values))
cols = [(pin, v) for pin in ("pinned", "unpinned") for v in variants]
print("Ratios to the plain poll/read loop of the same run, %s runs each: median [min-max]" % sys.argv[2])
print("pinned: every thread of the benchmark on one core (taskset); unpinned: free")
head = "%-36s %-19s" % ("metric", "goal") + "".join(" %-20s" % ("%s %s" % c) for c in cols)
print(head)
print("-" * len(head))
for key, name, goal in metrics:
    print("%-36s %-19s" % (name, goal) + "".join(" %-20s" % cell(data.get((key, p, v), [])) for p, v in cols))
for v in variants:
    w = data.get(("port.idle.wakeups", "idle", v), [])
    if w:
        print("idle, port open with its event thread, 3 s, %s: %d wake-ups (goal 0)" % (v, w[0]))
EOF
