#!/bin/bash
# The Windows build against the simulator, through Wine 10's serial code: the console front end
# and the window, the bytes and their pacing as the device sees them, the files, the modem lines
# (from the shim's log) and the time each command takes. Runs in a mount namespace of its own,
# with its own pseudo-terminals, in the Debian 13 root that wine10-root.sh makes.
# usage: device-check.sh WINDOWS_BUILD LINUX_BUILD QT_PREFIX
#   TAVRIN_DEVICE_ROUNDS   rounds of the whole check (default 1)
#   TAVRIN_DEVICE_WRITES   writes of the console front end a round (default 5)
#   TAVRIN_WINE10_ROOT     where the root is kept (default ~/.cache/tavrin/wine10-trixie)
set -euo pipefail
here=$(dirname "$(realpath "$0")")
winbuild=$(realpath "$1") linbuild=$(realpath "$2") qt=$(realpath "$3")
root=${TAVRIN_WINE10_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrin/wine10-trixie}
# The line database's client, where the build has one: its DLLs are found as Qt's are.
libpq=$(sed -n 's/^TAVRIN_LIBPQ_PREFIX:PATH=//p' "$winbuild/CMakeCache.txt")
imports=$(x86_64-w64-mingw32-objdump -p "$winbuild/tavrin.com")
on_line=$(grep -qi 'DLL Name: libpq.dll' <<<"$imports" && echo yes || echo no)

if [ "${TAVRIN_DEVICE_INSIDE:-}" != 1 ]; then
    if [ "$(id -u)" != 0 ] || ! unshare --mount true 2>/dev/null; then
        echo "(skipped the Windows device check: it needs root, to make a mount namespace of its own)"
        exit 0
    fi
    "$here/wine10-root.sh" "$root"
    cc -shared -fPIC -O2 -Wall -Wextra -o "$winbuild/modem-shim.so" "$here/modem-shim.c"
    export TAVRIN_DEVICE_INSIDE=1 TAVRIN_WINE10_ROOT=$root
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        unshare --mount --propagation private "$0" "$@"
fi

# ---- inside the namespace: pseudo-terminals of our own, the root with the build in it ----
mount -t devpts -o newinstance,ptmxmode=666,mode=620 devpts /dev/pts
mount --bind /dev/pts/ptmx /dev/ptmx
for dir in dev proc sys; do mount --rbind "/$dir" "$root/$dir"; done
for dir in "$winbuild" "$qt" ${libpq:+"$libpq"} /tmp/.X11-unix; do
    mkdir -p "$root$dir"
    mount --bind "$dir" "$root$dir"
done
work=$winbuild/device-check
rm -rf "$work"
mkdir -p "$work"
cp "$XAUTHORITY" "$work/Xauthority"
prefix=$winbuild/wine10
shim=$winbuild/modem-shim.sh
shimlog=$work/lines.log
devsim=$linbuild/tavrin-devsim
failures=0
# Each command or part of the window is a case: it passed when it added no failure.
cases_passed=0 cases_failed=0 case_start=0 in_case=0
next_case() {
    if [ "$in_case" = 1 ]; then
        if [ "$failures" -gt "$case_start" ]; then cases_failed=$((cases_failed + 1))
        else cases_passed=$((cases_passed + 1)); fi
    fi
    case_start=$failures in_case=1
}
fail() {
    failures=$((failures + 1))
    echo "FAIL $*"
    # What the screen showed, where the tools for a picture are at hand.
    if command -v xwd >/dev/null && command -v convert >/dev/null; then
        xwd -root -silent | convert xwd:- "$work/failure-$failures.png" 2>/dev/null &&
            echo "     (the screen: $work/failure-$failures.png)"
    fi
}

# Runs a Windows program under Wine 10 in the root, from the work folder. Extra environment comes
# in as NAME=VALUE words before the program.
wine10() {
    local settings=()
    while [[ "$1" == *=* ]]; do settings+=("$1"); shift; done
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY" \
        XAUTHORITY="$work/Xauthority" WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all \
        WINEDLLOVERRIDES='mscoree,mshtml=' WINEPATH="Z:$qt/bin${libpq:+;Z:$libpq/bin}" WINEQT_PLUGIN_PATH="Z:$qt/plugins" \
        WINEQT_QPA_PLATFORM=windows LD_PRELOAD="$winbuild/modem-shim.so" TAVRIN_SHIM_LOG="$shimlog" \
        "${settings[@]}" /bin/sh -c 'cd "$0" && exec wine "$@"' "$work" "$@"
}
wineserver10() { chroot "$root" /usr/bin/env -i WINEPREFIX="$prefix" /usr/lib/wine/wineserver "$@"; }

# The prefix: COM1..COM3 are the simulators on /dev/pts/0..2 of this namespace, nothing else is.
if [ ! -e "$prefix/.tavrin-ready" ]; then
    rm -rf "$prefix"
    wine10 wineboot -i >/dev/null 2>&1 || true
    {
        printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
        for n in $(seq 1 256); do
            if [ "$n" -le 3 ]; then printf '"COM%d"="/dev/pts/%d"\n' "$n" $((n - 1))
            else printf '"COM%d"=""\n' "$n"; fi
        done
    } >"$work/ports.reg"
    wine10 regedit /S "Z:$work/ports.reg" >/dev/null 2>&1
    wineserver10 -w
    touch "$prefix/.tavrin-ready"
fi

# One server for every run, with nothing of ours for its output; it ends 5 s after the last.
wineserver10 -p5 >/dev/null 2>&1 </dev/null

# ---- the simulators ----
# Seconds a command takes when all goes well, as the simulator serves it: starting Wine and the
# program, the transfer, and the second of the port cycle.
NOMINAL_READ=${NOMINAL_READ:-2} NOMINAL_WRITE=${NOMINAL_WRITE:-3} NOMINAL_VERIFY=${NOMINAL_VERIFY:-2}
NOMINAL_SILENT=${NOMINAL_SILENT:-3} NOMINAL_ABSENT=${NOMINAL_ABSENT:-1}
sims=()
start_sim() { # start_sim N OPTIONS...: the simulator that COM<N> reaches
    local n=$1
    shift
    "$devsim" --image "$work/com$n.bin" "$@" >"$work/sim$n.out" 2>"$work/sim$n.err" &
    sims[n]=$!
    local device=
    for _ in $(seq 200); do
        device=$(head -n 1 "$work/sim$n.out")
        [ -n "$device" ] && break
        sleep 0.05
    done
    [ "$device" = "/dev/pts/$((n - 1))" ] || { echo "simulator $n is on \"$device\"" >&2; exit 1; }
}
stop_sims() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap 'stop_sims; wineserver10 -k 2>/dev/null || true' EXIT
random_image() { head -c 64 /dev/urandom >"$1"; }
random_image "$work/com1.bin"
random_image "$work/com3.bin"
start_sim 1 --timestamps
start_sim 2 --silent
start_sim 3 --hang-up-after 20

echo "Wine $(wine10 --version 2>/dev/null | tr -d '\r'), simulators on /dev/pts/0-2"

# ---- what the device and the lines saw ----
lines_seen=0
# The line states a run logged since the last call: "D" both down, "U" both up, one letter per
# change, from the initial state on; half-way states (one line changed) are left out.
line_states() { # line_states INITIAL
    local log
    log=$(tail -n +$((lines_seen + 1)) "$shimlog" 2>/dev/null || true)
    awk -v initial="$1" '$3 == "write" { next }
        BEGIN { states = initial; last = initial }
        { s = ($3 == 1 && $4 == 1) ? "U" : ($3 == 0 && $4 == 0) ? "D" : ""
          if (s != "" && s != last) { states = states s; last = s; at[length(states)] = $2 } }
        END {
            printf "%s", states
            # how long the lines stayed down before each raise
            for (i = 2; i <= length(states); ++i)
                if (substr(states, i, 1) == "U" && substr(states, i - 1, 1) == "D" && (i - 1) in at)
                    printf " %.3f", at[i] - at[i - 1]
            printf "\n" }' <<<"$log"
}
lines_taken() { lines_seen=$(cat "$shimlog" 2>/dev/null | wc -l); }
# expect_lines NAME INITIAL CYCLES: the lines were raised once at the opening, dropped for a second
# and raised again CYCLES times, and left down at the end.
expect_lines() {
    local name=$1 initial=$2 cycles=$3
    local seen states expected
    seen=$(line_states "$initial")
    lines_taken
    states=${seen%% *}
    # Lines found up are disabled before the opening, so that closing leaves them down.
    expected=$initial
    [ "$initial" = D ] || expected+=D
    expected+=U
    for ((i = 0; i < cycles; ++i)); do expected+=DU; done
    expected+=D
    if [ "$states" != "$expected" ]; then
        fail "$name: the lines went $states, expected $expected"
        return
    fi
    local downs=(${seen#"$states"})
    [ "$initial" = D ] || downs=("${downs[@]:1}") # the opening's own
    for down in "${downs[@]}"; do
        awk -v d="$down" 'BEGIN { exit !(d >= 0.995 && d < 1.5) }' ||
            fail "$name: the lines were down for $down s in the port cycle"
    done
}
# Arrival gaps of the data bytes the simulator reported since the last call, in ms.
arrivals_seen=0
gaps=()
take_gaps() {
    local new
    new=$(sed -n 's/^arrivals //p' "$work/sim1.out" | tail -n +$((arrivals_seen + 1)))
    arrivals_seen=$(grep -c '^arrivals ' "$work/sim1.out" || true)
    while read -r -a times; do
        for ((i = 1; i < ${#times[@]}; ++i)); do
            gaps+=("$(awk -v a="${times[i - 1]}" -v b="${times[i]}" 'BEGIN { printf "%.3f", (b - a) / 1000 }')")
        done
    done <<<"$new"
}

# ---- the console front end ----
stalls=0 slowest=
# console NAME STATUS NOMINAL_S [NAME=VALUE...] ARGUMENTS...: the exit status is STATUS, and the
# run takes no longer than NOMINAL_S seconds plus 2.
console() {
    local name=$1 status=$2 nominal=$3
    shift 3
    local start end code elapsed
    next_case
    start=$(date +%s%N)
    code=0
    wine10 "$@" >"$work/output" 2>&1 </dev/null || code=$?
    end=$(date +%s%N)
    elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
    echo "  $name: exit $code in $elapsed s"
    [ "$code" = "$status" ] ||
        fail "$name: exit $code (expected $status): $(tr -d '\r' <"$work/output" | tail -n 3)"
    if awk -v e="$elapsed" -v n="$nominal" 'BEGIN { exit !(e > n + 2) }'; then
        stalls=$((stalls + 1))
        fail "$name: took $elapsed s, nominally $nominal s"
    fi
    return 0
}
same() { cmp -s "$1" "$2" || fail "$3: $(basename "$1") and $(basename "$2") differ"; }
written_count() { grep -c '^written ' "$work/sim1.out" || true; }
lost() { # lost N: the N-th "written" report of simulator 1 lost no byte
    local report
    report=$(grep '^written ' "$work/sim1.out" | sed -n "${1}p")
    [ "$report" = "written lost=0" ] || fail "write $1: the simulator reported \"$report\""
}

tavrin="Z:$winbuild/tavrin.com"
writes=${TAVRIN_DEVICE_WRITES:-5}
rounds=${TAVRIN_DEVICE_ROUNDS:-1}
written=0
for ((round = 1; round <= rounds && ${TAVRIN_DEVICE_CONSOLE:-1}; ++round)); do
    echo "round $round of $rounds: the console front end"
    console read 0 "$NOMINAL_READ" "$tavrin" read --port 1 read.bin
    same "$work/read.bin" "$work/com1.bin" read
    expect_lines read D 1
    for ((n = 1; n <= writes; ++n)); do
        random_image "$work/image$n.bin"
        # Half the writes find the lines up, as a port last used by another program may.
        initial=$( ((n % 2)) && echo D || echo U)
        console "write $n" 0 "$NOMINAL_WRITE" TAVRIN_SHIM_LINES=$([ $initial = U ] && echo up) \
            "$tavrin" write --port 1 "image$n.bin"
        written=$((written + 1))
        lost "$written"
        same "$work/image$n.bin" "$work/com1.bin" "write $n"
        expect_lines "write $n" "$initial" 1
    done
    console "verify, the same" 0 "$NOMINAL_VERIFY" "$tavrin" verify --port 1 "image$writes.bin"
    expect_lines "verify, the same" D 1
    cp "$work/image$writes.bin" "$work/differs.bin"
    printf '\x00\x01' | dd of="$work/differs.bin" bs=1 seek=7 conv=notrunc status=none
    console "verify, a difference" 1 "$NOMINAL_VERIFY" "$tavrin" verify --port 1 differs.bin
    expect_lines "verify, a difference" D 1
    console "a port without modem lines" 0 "$NOMINAL_WRITE" TAVRIN_SHIM_LINES=unsupported \
        "$tavrin" write --port 1 differs.bin
    written=$((written + 1))
    lost "$written"
    same "$work/differs.bin" "$work/com1.bin" "a port without modem lines"
    lines_taken
    console "a silent device" 3 "$NOMINAL_SILENT" "$tavrin" read --port 2 --timeout 2 silent.bin
    expect_lines "a silent device" D 0
    [ ! -e "$work/silent.bin" ] || fail "a silent device: silent.bin was saved"
    console "a hang-up mid-write" 4 "$NOMINAL_WRITE" "$tavrin" write --port 3 differs.bin
    lines_taken
    console "an absent port" 4 "$NOMINAL_ABSENT" "$tavrin" read --port COM9 absent.bin
    [ "$(line_states D)" = D ] || fail "an absent port: the lines moved"
    lines_taken
    # The hung-up simulator has gone; the next round needs it back on the same terminal.
    wait "${sims[3]}" 2>/dev/null || true
    start_sim 3 --hang-up-after 20
done
take_gaps

# ---- a bench on the line: its number from a PostgreSQL server of its own, over TCP ----
if [ "$on_line" = yes ]; then
    echo "a bench on the line"
    cluster=$work/postgres.info
    "$here/../../support/postgres-cluster.sh" start "$cluster" >/dev/null
    trap '"$here/../../support/postgres-cluster.sh" stop "$cluster"; stop_sims
        wineserver10 -k 2>/dev/null || true' EXIT
    source "$cluster"
    printf '127.0.0.1:%s:*:tavrin_admin:%s\n' "$port" "$password" >"$work/pgpass"
    line="host=127.0.0.1 port=$port dbname=postgres user=tavrin_admin"
    sql() { psql -X -q -At -h "$socket" -p "$port" -U tavrin_admin -d postgres -c "$1"; }
    passwords=(PGPASSFILE="Z:$work/pgpass")
    console "line init" 0 5 "${passwords[@]}" "$tavrin" line init "$line"
    console "line sequence" 0 5 "${passwords[@]}" "$tavrin" line sequence "$line" wine --start 70000
    random_image "$work/line-image.bin"
    console "a unit on the line" 0 "$((NOMINAL_WRITE + 1))" "${passwords[@]}" "$tavrin" write \
        --port 1 line-image.bin --serial-at 0x3C --line "$line" --sequence wine --station wine10 \
        --spool line-spool.jsonl --log line-units.jsonl
    written=$((written + 1))
    lost "$written"
    lines_taken
    stamped=$(od -An -tu1 -j 60 -N 4 "$work/com1.bin" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }')
    [ "$stamped" = 70000 ] || fail "a unit on the line: the unit holds serial number $stamped"
    cmp -s -n 60 "$work/line-image.bin" "$work/com1.bin" || fail "a unit on the line: cells 0-59 differ"
    recorded=$(sql "select string_agg(stage || ' ' || serial || ' ' || coalesce(result, '-'), ', '
        order by recorded) from tavrin.unit where station = 'wine10'")
    echo "  on record: $recorded"
    [ "$recorded" = "started 70000 started, outcome 70000 done" ] ||
        fail "a unit on the line: the database holds \"$recorded\""
    [ "$(sql "select next from tavrin.sequence where name = 'wine'")" = 70001 ] ||
        fail "a unit on the line: the sequence did not move on by one"
    [ ! -s "$work/line-spool.jsonl" ] || fail "a unit on the line: its spool kept $(cat "$work/line-spool.jsonl")"
    before=$(written_count)
    console "a missing sequence" 2 5 "${passwords[@]}" "$tavrin" write --port 1 line-image.bin \
        --serial-at 0x3C --line "$line" --sequence missing --spool line-spool.jsonl
    console "no server" 2 5 "$tavrin" write --port 1 line-image.bin --serial-at 0x3C \
        --line "host=127.0.0.1 port=1 user=tavrin_admin" --sequence wine --spool line-spool.jsonl
    [ "$(written_count)" = "$before" ] || fail "no server: the unit was written"
    lines_taken
fi

# ---- the window, driven through the X server as a person would ----
# wait_for SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds; fails after SECONDS.
wait_for() {
    local until=$(($(date +%s%N) + ${1%.*} * 1000000000))
    shift
    until "$@"; do
        (($(date +%s%N) < until)) || return 1
        sleep 0.05
    done
}
states_at_least() { [ "$(tail -n +$((lines_seen + 1)) "$shimlog" 2>/dev/null | awk '
    $3 == "write" { next }
    { s = ($3 == 1 && $4 == 1) ? "U" : ($3 == 0 && $4 == 0) ? "D" : ""
      if (s != "" && s != last) { ++n; last = s } } END { print n + 0 }')" -ge "$1" ]; }
whole_file() { [ "$(stat -c %s "$1" 2>/dev/null)" = 64 ]; }
window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
# click X Y: a click at X,Y of the window's client area (the program's layout is in pixels there).
click() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1
}
# choose_file BUTTON_X BUTTON_Y TITLE PATH: clicks the button until the dialog TITLE shows (the
# program refuses a click while the last command is still ending), types PATH, presses Return.
choose_file() {
    local dialog= title=$3 tries
    for tries in 1 2 3 4 5; do
        click "$1" "$2"
        dialog=
        wait_for 3 eval 'dialog=$(window_named "$title"); [ -n "$dialog" ]' && break
    done
    [ -n "$dialog" ] || { fail "the window: no \"$title\" dialog"; return 1; }
    xdotool type --delay 15 "Z:$4"
    xdotool key Return
}
# timed NAME NOMINAL_S COMMAND...: waits for COMMAND, counting a stall past NOMINAL_S + 2 s.
timed() {
    local name=$1 nominal=$2
    shift 2
    local start=$SECONDS
    if ! wait_for $((nominal + 2)) "$@"; then
        stalls=$((stalls + 1))
        fail "the window: $name took longer than $nominal s + 2 s"
        return 1
    fi
    echo "  the window, $name: within $((SECONDS - start + 1)) s"
}

echo "the window"
next_case
lines_taken
wine10 TAVRIN_SHIM_LINES=up "Z:$winbuild/tavrin.exe" >"$work/window.out" 2>&1 </dev/null &
window=$!
main=
wait_for 60 eval 'main=$(window_named Tavrin); [ -n "$main" ]' || fail "the window did not show"
if [ -n "$main" ]; then
    before=$(written_count)
    random_image "$work/window-image.bin"
    rm -f "$work/window-read.bin"
    click 20 80 # Com1
    timed "choosing Com1" 1 states_at_least 2 &&
        choose_file 100 52 Open "$work/window-image.bin" &&
        timed "write and verify" "$NOMINAL_WRITE" states_at_least 4 &&
        { [ "$(written_count)" -gt "$before" ] || fail "the window: nothing was written"; } &&
        choose_file 100 20 "Save As" "$work/window-read.bin" &&
        timed "read and save" "$NOMINAL_READ" states_at_least 6
    written=$(written_count)
    lost "$written"
    same "$work/window-image.bin" "$work/com1.bin" "the window's write"
    same "$work/window-image.bin" "$work/window-read.bin" "the window's read"
    click 100 110 # the status line, to give the window the keyboard
    xdotool key alt+F4
    wait_for 20 eval '! kill -0 $window 2>/dev/null' || fail "the window did not close"
    expect_lines "the window" U 2
fi
kill "$window" 2>/dev/null || true
wait "$window" 2>/dev/null || true
take_gaps

# ---- the pacing: as sent (each write to the terminal, from the shim's log) and as the device saw
# it (it reads later, and a byte that waited in the terminal narrows the gap after it) ----
summary() { # summary WHAT: min, median and p99 of the gaps on standard input, in ms
    sort -n | awk -v what="$1" '
        { g[NR] = $1 }
        END { if (NR) printf "pacing %s: %d gaps: min %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms\n",
              what, NR, g[1], g[int((NR + 1) / 2)], g[int(NR * 0.99 + 0.5)], g[NR] }'
}
# From ESC "D" (two bytes) through the 64 data bytes (one each) of every write transfer to COM1.
sent_gaps() {
    awk '$3 == "write" && $4 == 0 {
        if ($5 == 2) { n[$1] = 1; last[$1] = $2; next }
        if ($5 == 1 && n[$1] >= 1 && n[$1] <= 64) { printf "%.3f\n", ($2 - last[$1]) * 1000; ++n[$1]; last[$1] = $2; next }
        n[$1] = 0 }' "$shimlog"
}
sent_gaps | summary "as sent"
printf '%s\n' "${gaps[@]}" | grep . | summary "as the device saw it"
short=$(sent_gaps | awk '$1 < 10.0' | wc -l)
[ "$short" = 0 ] || fail "$short data bytes were sent less than 10.0 ms after the byte before"
next_case
echo "stalls: $stalls; $written writes seen by the device"
echo "Windows device check: $cases_passed passed, $cases_failed failed"
[ "$failures" = 0 ]
