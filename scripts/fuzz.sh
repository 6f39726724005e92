#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang) and runs every one
# in turn, one process at a time.
#
#   scripts/fuzz.sh [SECONDS]        the longer campaign: SECONDS per target
#                                    (600 unless given); what each run
#                                    learns is kept between runs in
#                                    $QM_FUZZ_CORPUS/<target> (by default
#                                    ~/.cache/quillmend-fuzz), outside the
#                                    repository
#   scripts/fuzz.sh --ci [SECONDS]   the short run of scripts/test.sh:
#                                    SECONDS per target (20 unless given),
#                                    from the seeds alone, learning nothing
#   QM_FUZZ_ONLY="a b" ...           only the targets named
#
# Every target starts from its seeds in fuzz/corpus/<target>/ and its
# dictionary fuzz/<target>.dict, when there is one. A crash, a hang (10 s
# for one input), a leak or a sanitizer report fails the run; the input is
# kept in build/fuzz/artifacts/ and printed in base64, with the command that
# runs it again. Each target's log is build/fuzz/logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."

ci=0
if [ "${1:-}" = "--ci" ]; then
    ci=1
    shift
fi
seconds=${1:-$([ $ci = 1 ] && echo 20 || echo 600)}

if ! command -v clang++ >/dev/null; then
    echo "fuzz: clang++ is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi

build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

mkdir -p "$build/artifacts" "$build/logs"
if [ $ci = 1 ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
else
    work=${QM_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmend-fuzz}
fi

targets=${QM_FUZZ_ONLY:-$(cd fuzz/corpus && ls)}
failed=()
for name in $targets; do
    program=$build/fuzz/${name}_fuzzer
    log=$build/logs/$name.log
    corpus=$work/$name
    mkdir -p "$corpus"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$build/artifacts/$name-")
    [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
    echo "== fuzz: $name for $seconds s"
    # New inputs go to the first folder; the seeds are only read.
    if "$program" "${options[@]}" "$corpus" "fuzz/corpus/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
        echo "   $runs runs, $speed exec/s, $coverage, $(find "$corpus" -type f | wc -l) inputs learnt"
    else
        failed+=("$name")
        echo "   FAILED: the report (the whole log is $log):"
        grep -n -m 1 -E '^==[0-9]+==|PROPERTY FAILED|ERROR: libFuzzer|runtime error' "$log" |
            cut -d: -f1 | { read -r first && tail -n +"$first" "$log" | head -n 60; } || tail -n 60 "$log"
        artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
        if [ -n "$artifact" ] && [ -f "$artifact" ]; then
            echo "   the input ($(wc -c <"$artifact") bytes), in base64:"
            base64 -w 76 "$artifact" | sed 's/^/     /'
            echo "   run it again with: $program $artifact"
        fi
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]}" >&2
    exit 1
fi
