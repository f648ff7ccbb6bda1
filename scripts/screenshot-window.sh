#!/usr/bin/env bash
# Takes docs/screenshot-window.png: the workbench under Xvfb on one end of a pty pair, with a few
# answers (one with a wrong CRC, one cut short) written into the other end.
#   xvfb-run -a -s "-screen 0 880x500x24" scripts/screenshot-window.sh
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'kill "${app:-}" "${wire:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
printf '%s\r\n' "$repo/resources/example.tsl" > tessal.ini
socat pty,raw,echo=0,link="$work/dev-a" pty,raw,echo=0,link="$work/dev-b" &
wire=$!
while [ ! -e "$work/dev-b" ]; do sleep 0.1; done
"$repo/build/app/tessal" --port "$work/dev-a" &
app=$!
sleep 3
python3 - > "$work/dev-b" <<'PY'
import sys
def crc(data):
    c = 0
    for b in data:
        c ^= b << 8
        for _ in range(8):
            c = ((c << 1) ^ 0x1021) & 0xFFFF if c & 0x8000 else (c << 1) & 0xFFFF
    return c
def frame(body):
    body = list(body); body[1] = len(body) + 2
    c = crc(body); return bytes(body + [c >> 8, c & 0xFF])
out = frame([1, 0, 0x00, 0x00]) + frame([1, 0, 0x01, 0x12, 0x34, 0x56, 0x00])
out += frame([1, 0, 0x20] + list(b"PUMP1") + [0x00])
bad = bytearray(frame([1, 0, 0x30, 0x07, 0x05])); bad[-1] ^= 0xFF
out += bytes(bad) + frame([2, 0, 0x1A, 0x0F])
sys.stdout.buffer.write(out)
PY
sleep 1
printf '\x01\x10\x00' > "$work/dev-b"
sleep 1
import -window root "$repo/docs/screenshot-window.png"
