#!/bin/bash
# Makes the Debian 13 root whose Wine 10 runs the Windows build against the simulator, when it is
# missing: Debian 12's Wine 8 cannot do serial I/O on a pseudo-terminal. Needs root and the
# Debian archive that apt already uses. The root is a cache: delete it to have it made anew.
# usage: wine10-root.sh ROOT
set -euo pipefail
root=$1
[ -e "$root/.tavrin-ready" ] && exit 0

archive=$(sed -n 's/^URIs: *\(http[^ ]*debian\/*\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    head -n 1)
[ -n "$archive" ] || archive=$(sed -n 's/^deb \(http[^ ]*debian\/*\) .*/\1/p' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1)
[ -n "$archive" ] || { echo "no Debian archive in apt's sources" >&2; exit 1; }
command -v debootstrap >/dev/null || {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
}

echo "Making the Wine 10 root in $root (once; about 2 minutes and 1.3 GB)"
rm -rf "$root.partial"
mkdir -p "$(dirname "$root")"
debootstrap --variant=minbase trixie "$root.partial" "$archive" >"$root.partial.log" 2>&1 || {
    tail -n 20 "$root.partial.log" >&2
    exit 1
}
chroot "$root.partial" /bin/sh -c '
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends wine wine64 >/dev/null &&
    apt-get clean' >>"$root.partial.log" 2>&1 || {
    tail -n 20 "$root.partial.log" >&2
    exit 1
}
rm -f "$root.partial.log"
touch "$root.partial/.tavrin-ready"
mv "$root.partial" "$root"
