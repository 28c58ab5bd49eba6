#!/bin/bash
# Installs the Windows installer silently under Wine, in the build's own Wine prefix, runs what it
# installed as a user would (only the DLLs and plugins it shipped), uninstalls it silently and
# checks that nothing is left behind. Run on an X display (the window is shown).
# usage: install-check.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
setup=$(ls "$build"/tavrin-*-win64-setup.exe)
prefix=$build/wine
run() { TAVRIN_WINE_BARE=1 "$build/wine-run" "$@" </dev/null; }
settle() { WINEPREFIX=$prefix wineserver -w; }
# Everything in the prefix but Windows's own folder and temporary files, and the registry's keys.
snapshot() {
    (cd "$prefix/drive_c" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -print | sort)
    grep -h '^\[' "$prefix"/system.reg "$prefix"/user.reg | sed 's/\] [0-9]*$/]/' | sort
}
fail() { echo "install check: $*" >&2; exit 1; }

run true >/dev/null 2>&1 || true # the prefix is made before the snapshot
settle
before=$(snapshot)

run "$setup" /S >/dev/null 2>&1 || fail "the installer failed"
settle
installed="$prefix/drive_c/Program Files/Tavrin"
for file in tavrin.exe tavrin.com Qt6Core.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
    libstdc++-6.dll licenses/LGPL-3.txt Uninstall.exe; do
    [ -e "$installed/$file" ] || fail "$file was not installed"
done
# A build with the line database ships its client, its TLS and their licences.
line=no
imports=$(x86_64-w64-mingw32-objdump -p "$build/tavrin.com")
if grep -qi 'DLL Name: libpq.dll' <<<"$imports"; then
    line=yes
    for file in libpq.dll libssl-3-x64.dll libcrypto-3-x64.dll licenses/PostgreSQL-COPYRIGHT.txt \
        licenses/OpenSSL-LICENSE.txt; do
        [ -e "$installed/$file" ] || fail "$file was not installed"
    done
fi
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavrin"
[ -e "$menu/Tavrin.lnk" ] || fail "no Start menu entry"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
run "C:\\Program Files\\Tavrin\\tavrin.com" --version >"$out" 2>/dev/null || true
version=$(tr -d '\r' <"$out")
[[ "$version" =~ ^tavrin\ [0-9.]+$ ]] || fail "the installed console front end said \"$version\""
TAVRIN_QUIT_WHEN_SHOWN=1 QT_QPA_PLATFORM=windows run "C:\\Program Files\\Tavrin\\tavrin.exe" \
    >"$out" 2>/dev/null || true
shown=$(tr -d '\r' <"$out")
[ "$shown" = shown ] || fail "the installed window program said \"$shown\""
if [ $line = yes ]; then
    # The line's client loads from the installation: a closed port is our refusal, not a missing DLL.
    status=0
    run "C:\\Program Files\\Tavrin\\tavrin.com" line report "host=127.0.0.1 port=1 connect_timeout=5" \
        >"$out" 2>&1 || status=$?
    said=$(tr -d '\r' <"$out")
    [ $status = 2 ] && [[ "$said" == *"cannot be reached"* ]] ||
        fail "the installed line client: exit $status, \"$said\""
fi

run "C:\\Program Files\\Tavrin\\Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
settle
[ ! -e "$installed" ] || fail "the uninstaller left $(cd "$installed" && find . | head -5 | xargs)"
after=$(snapshot)
left=$(comm -13 <(echo "$before") <(echo "$after"))
[ -z "$left" ] || fail "the uninstaller left: $left"
echo "installed $(basename "$setup") ($(du -k "$setup" | cut -f1) KiB), ran $version, window shown, uninstalled without a trace"
