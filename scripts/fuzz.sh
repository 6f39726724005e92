#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang) and runs every one
# in turn, one process at a time.
#
#   scripts/fuzz.sh [SECONDS]        the longer campaign: SECONDS of CPU time
#                                    per target (600 unless given; on a busy
#                                    machine the run goes on until the target
#                                    has had them); what each run learns is
#                                    kept between runs in
#                                    $QM_FUZZ_CORPUS/<target> (by default
#                                    ~/.cache/quillmend-fuzz), outside the
#                                    repository
#   scripts/fuzz.sh --ci [SECONDS]   the short run of scripts/test.sh:
#                                    SECONDS per target (20 unless given, time
#                                    on the clock; less when the build took
#                                    long, see QM_FUZZ_CI_BUDGET), from the
#                                    seeds alone, learning nothing
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
else
    work=${QM_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/quillmend-fuzz}
fi

# CPU seconds (user and system) of the children that have ended so far,
# into $cpu. `times` must run in this shell, not in a command substitution.
cpu_file=$(mktemp)
trap 'rm -f "$cpu_file"; if [ $ci = 1 ]; then rm -rf "$work"; fi' EXIT
children_cpu() {
    times >"$cpu_file"
    cpu=$(tail -n 1 "$cpu_file" | awk '{
        n = 0
        for (i = 1; i <= 2; ++i) { split($i, t, "m"); sub("s", "", t[2]); n += t[1] * 60 + t[2] }
        print n }')
}

targets=${QM_FUZZ_ONLY:-$(cd fuzz/corpus && ls)}

# The CI step, build included, takes at most $QM_FUZZ_CI_BUDGET seconds
# (180 unless set): after a long build each target gets less than asked,
# but never under 5 s.
if [ $ci = 1 ]; then
    count=$(echo $targets | wc -w)
    fit=$(( (${QM_FUZZ_CI_BUDGET:-180} - SECONDS) / count - 3 ))
    [ "$fit" -lt "$seconds" ] && seconds=$(( fit < 5 ? 5 : fit ))
fi
failed=()
for name in $targets; do
    program=$build/fuzz/${name}_fuzzer
    log=$build/logs/$name.log
    corpus=$work/$name
    mkdir -p "$corpus"
    options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$build/artifacts/$name-")
    [ -f "fuzz/$name.dict" ] && options+=(-dict="fuzz/$name.dict")
    echo "== fuzz: $name for $seconds s"
    : >"$log"
    children_cpu
    start=$cpu
    used=0
    runs=0
    ok=1
    # New inputs go to the first folder; the seeds are only read. The
    # campaign runs again for what the machine's other work took.
    while :; do
        left=$(awk -v s="$seconds" -v u="$used" 'BEGIN { l = s - u; print (l < 1 ? 1 : int(l + 0.5)) }')
        if ! "$program" "${options[@]}" -max_total_time="$left" "$corpus" "fuzz/corpus/$name" \
            >>"$log" 2>&1; then
            ok=0
            break
        fi
        runs=$((runs + $(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)))
        children_cpu
        used=$(awk -v a="$cpu" -v b="$start" 'BEGIN { print a - b }')
        [ $ci = 1 ] && break
        awk -v s="$seconds" -v u="$used" 'BEGIN { exit !(u >= s - 1) }' && break
    done
    if [ $ok = 1 ]; then
        speed=$(awk -v r="$runs" -v u="$used" 'BEGIN { printf "%d", (u > 0 ? r / u : 0) }')
        coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
        printf '   %d runs in %.0f CPU s, %s exec/s, %s, %d inputs learnt\n' "$runs" "$used" \
            "$speed" "$coverage" "$(find "$corpus" -type f | wc -l)"
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
