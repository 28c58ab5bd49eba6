#!/bin/sh
# usage: expect-output.sh LINE COMMAND...: runs COMMAND and passes when its output is LINE. The
# output goes through a file: a process the command leaves running (Wine's server) must not hold
# the caller's pipe.
expected=$1
shift
out=$(mktemp)
"$@" >"$out" 2>/dev/null </dev/null
output=$(tr -d '\r' <"$out")
rm -f "$out"
[ "$output" = "$expected" ] && exit 0
echo "expected \"$expected\", got \"$output\"" >&2
exit 1
