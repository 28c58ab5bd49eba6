#!/bin/sh
# with-accessibility-bus.sh COMMAND...: inside a session bus of its own (dbus-run-session), starts
# the accessibility bus as a desktop session does, waits (at most 10 s) until it is on the session
# bus, runs COMMAND and stops the accessibility bus again. Its socket goes in a runtime folder of
# its own, removed at the end.
launcher=${TAVRIN_AT_SPI_BUS_LAUNCHER:-/usr/libexec/at-spi-bus-launcher}
XDG_RUNTIME_DIR=$(mktemp -d) || exit 1
export XDG_RUNTIME_DIR
"$launcher" &
started=$!
trap 'kill $started 2>/dev/null; wait $started 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
tries=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q true; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
        echo "with-accessibility-bus: the accessibility bus did not start" >&2
        exit 1
    fi
    sleep 0.1
done
"$@"
