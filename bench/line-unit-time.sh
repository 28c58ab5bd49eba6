#!/usr/bin/env bash
# A unit's time with the line database against one with the counter file: 20 single writes each
# against the simulator, the line on a PostgreSQL 15 of its own (started in a temporary folder,
# removed at the end). Prints the medians of duration_ms (up to the outcome, before the port
# cycle) and of the time the database's calls took.
#   bench/line-unit-time.sh BUILD_DIR [UNITS]
set -euo pipefail
build=$(cd "$1" && pwd) units=${2:-20}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap '"$here/tests/support/postgres-cluster.sh" stop "$work/pg.info"; kill $sim 2>/dev/null; rm -rf "$work"' EXIT
"$here/tests/support/postgres-cluster.sh" start "$work/pg.info" > /dev/null
. "$work/pg.info"
line="host=$socket port=$port user=tavrin_admin dbname=postgres"
"$build/tavrin" line init "$line" > /dev/null
"$build/tavrin" line sequence "$line" bench --start 1
cd "$work"
"$build/tavrin-devsim" > sim.txt & sim=$!
while [ ! -s sim.txt ]; do sleep 0.05; done
device=$(head -n 1 sim.txt)
head -c 16 /dev/zero | tr '\0' p > image.bin
for i in $(seq "$units"); do
    "$build/tavrin" write --quiet --port "$device" image.bin --serial-at 0x3C --serial-file serial.txt \
        --serial-start 1 --log file.jsonl
    "$build/tavrin" write --quiet --port "$device" image.bin --serial-at 0x3C --line "$line" \
        --sequence bench --station bench --spool spool.jsonl --log line.jsonl
done
median() { grep -v '"started"' "$1" | sed -n 's/.*"duration_ms":\([0-9]*\).*/\1/p' | sort -n |
           awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
file=$(median file.jsonl) db=$(median line.jsonl)
echo "units: $units each; median duration_ms: counter file $file, line database $db"
awk -v f="$file" -v l="$db" 'BEGIN { printf "the line adds %.1f ms a unit (%.2f %%)\n", l - f, 100 * (l - f) / f }'
# The database's own time for taking a number with its record, and for an outcome.
psql -qXAt "$line" -c "SELECT round(avg(extract(epoch FROM o.recorded - s.recorded) * 1000)) FROM tavrin.unit s JOIN tavrin.unit o USING (unit_id) WHERE s.stage = 'started' AND o.stage = 'outcome'" |
    sed 's/^/mean ms from the started record to the outcome record: /'
