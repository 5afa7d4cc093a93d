#!/usr/bin/env bash
# Two demos started at the same moment must both come up (no port clash between them), and
# SIGTERM must end each with exit code 0, no simulator left running and its data folder removed
# or, with --keep, kept and named.
#   tst_demo.sh DEMO_SCRIPT BUILD_DIR
set -euo pipefail

demo="$1"
build="$2"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/tst_demo.XXXXXX")"
demos=()

fail() {
    echo "FAIL: $*" >&2
    for n in 1 2; do
        [ ! -f "$tmp/$n.err" ] || sed "s/^/demo $n: /" "$tmp/$n.err" >&2
    done
    exit 1
}

# Whatever a failed run left behind is found by the test's own folder in its command line.
cleanup() {
    local pid
    for pid in "${demos[@]}" $(pgrep -f "$tmp/" || true); do
        kill -KILL "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

for n in 1 2; do
    mkdir "$tmp/$n"
    extra=()
    [ "$n" -eq 1 ] || extra=(--keep)
    TMPDIR="$tmp/$n" "$demo" --no-build --build-dir "$build" --no-client --auto-signals 1 \
        "${extra[@]}" >"$tmp/$n.out" 2>"$tmp/$n.err" &
    demos+=("$!")
done

for ((i = 0; ; i++)); do
    ready=0
    for n in 1 2; do
        grep -q '^Ctrl-C or SIGTERM stops the simulators' "$tmp/$n.out" && ready=$((ready + 1))
        kill -0 "${demos[n - 1]}" 2>/dev/null || fail "demo $n ended before it was ready"
    done
    [ "$ready" -lt 2 ] || break
    [ "$i" -lt 600 ] || fail "the demos were not ready within 60 s"
    sleep 0.1
done
platforms="$(sed -n 's/^  signal platform  \([^ ]*\).*/\1/p' "$tmp/1.out" "$tmp/2.out" | sort -u | wc -l)"
[ "$platforms" -eq 2 ] || fail "the two demos do not name two platforms"

kill -TERM "${demos[@]}"
for n in 1 2; do
    pid="${demos[n - 1]}"
    for ((i = 0; i < 300; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "demo $n still runs 30 s after SIGTERM"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "demo $n exited with code $status after SIGTERM"
done

left="$(pgrep -af "$tmp/" || true)"
[ -z "$left" ] || fail "processes left running: $left"
[ -z "$(ls -A "$tmp/1")" ] || fail "demo 1 left its data: $(ls -A "$tmp/1")"
kept="$(sed -n 's/^scripts\/demo: data and logs kept in //p' "$tmp/2.out")"
case "$kept" in
    "$tmp/2/"*) ;;
    *) fail "demo 2 (--keep) does not say where its data is kept" ;;
esac
if [ ! -s "$kept/front.log" ] || [ ! -d "$kept/platform" ]; then
    fail "demo 2 (--keep) did not keep $kept"
fi
echo "PASS"
