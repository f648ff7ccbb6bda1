# Shared by ./test and ./run: install what is missing, then configure and build.
# Sourced, not executed.

# Fonts: the offscreen platform of the widget tests and the terminal need a sans and a fixed-pitch face.
# vttest: the terminal program's test runs it (and is skipped without it).
# help2man writes the manual pages from the programs' --help; dpkg-dev has dpkg-shlibdeps, which
# CPack asks for the package's dependencies.
# qt6-charts-dev (and libqt6opengl6-dev, which its CMake package needs): the statistics panel's
# plots. python3: its csv module reads exports back in a test, and tessal-cli's test reads its
# JUnit report with its XML module.
# ser2net: the network port tests serve a pty through it; python3-serial: the network port
# benchmark's comparison client.
TESSAL_PACKAGES=(cmake g++ make qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgtest-dev
    fonts-dejavu-core vttest help2man dpkg-dev python3 ser2net python3-serial)

tessal_install_missing() {
    local missing=() pkg
    for pkg in "${TESSAL_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

# tessal_test_env [REPORT_DIR]: the sanitizers' options for a test run. Qt and GLib are not
# instrumented: their own locking is invisible to the race detector (tests/tsan-qt.supp). With
# REPORT_DIR, every report, also one of a program a test starts, goes to a file there.
tessal_test_env() {
    local log=${1:+ log_path=$1/report}
    export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan-qt.supp$log}"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1$log}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1 halt_on_error=1$log}"
}

# tessal_build BUILD_DIR [cmake options...] [--target TARGET...]: everything without --target.
tessal_build() {
    local dir=$1 opts=() targets=()
    shift
    while [ $# -gt 0 ] && [ "$1" != --target ]; do
        opts+=("$1")
        shift
    done
    [ $# -gt 0 ] && targets=("$@")
    cmake -S . -B "$dir" "${opts[@]}"
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# tessal_fuzz [target...]: builds the fuzz targets with clang in build-fuzz/ and runs each (all of
# fuzz/*.cpp when none is named) for TESSAL_FUZZ_SECONDS, 60 by default. New inputs go to
# build-fuzz/corpus/<target>, crashing ones to build-fuzz/artifacts/; the seeds in
# fuzz/corpus/<target> are only read. Fails when any target finds something.
tessal_fuzz() {
    tessal_install_missing clang-14 libclang-rt-14-dev
    CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DTESSAL_FUZZ=ON
    cmake --build build-fuzz --parallel "$(nproc)" --target fuzz
    local seconds=${TESSAL_FUZZ_SECONDS:-60} targets=("$@") failed=() target log
    if [ ${#targets[@]} -eq 0 ]; then
        for target in fuzz/*.cpp; do
            targets+=("$(basename "$target" .cpp)")
        done
    fi
    mkdir -p build-fuzz/artifacts build-fuzz/logs
    for target in "${targets[@]}"; do
        mkdir -p "build-fuzz/corpus/$target"
        log=build-fuzz/logs/$target.log
        echo "fuzz_$target: ${seconds} s"
        if "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$target-" \
            "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
            grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec' "$log" |
                sed 's/^/    /'
        else
            failed+=("$target")
            tail -n 40 "$log"
        fi
    done
    if [ ${#failed[@]} -ne 0 ]; then
        echo "fuzzing found faults in: ${failed[*]} (inputs in build-fuzz/artifacts/)"
        return 1
    fi
    echo "fuzz: ${#targets[@]} passed, 0 failed"
}
