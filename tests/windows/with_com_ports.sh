#!/usr/bin/env bash
# with_com_ports.sh PROGRAM [ARGS...]: runs a Windows program under Wine with COM3 and COM4 of
# the Wine prefix joined to each other: two pseudo-terminals between which socat relays, so
# that what a test writes to COM4 arrives on COM3 as from a device. Like every Wine process
# of the project, run it where /dev holds no real serial device (.ci/private-dev).
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
[ -d "$WINEPREFIX/dosdevices" ] || wineboot --init >/dev/null 2>&1 || true
dir=$(mktemp -d)
socat pty,raw,echo=0,link="$dir/com3" pty,raw,echo=0,link="$dir/com4" &
relay=$!
cleanup() {
  kill "$relay" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com3" "$WINEPREFIX/dosdevices/com4"
  rm -rf "$dir"
}
trap cleanup EXIT
for _ in $(seq 200); do
  [ -e "$dir/com3" ] && [ -e "$dir/com4" ] && break
  sleep 0.05
done
ln -sfn "$(readlink -f "$dir/com3")" "$WINEPREFIX/dosdevices/com3"
ln -sfn "$(readlink -f "$dir/com4")" "$WINEPREFIX/dosdevices/com4"
wine "$@"
