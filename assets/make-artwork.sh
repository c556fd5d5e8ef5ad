#!/usr/bin/env bash
# Regenerates the raster artwork from assets/logo.svg:
#   assets/logo.png         512 x 512 RGBA, transparent outside the rounded tile
#   assets/VexloTweaks.ico  16, 24, 32, 48, 64, 128 and 256 px, each a 32-bit RGBA PNG inside the ICO
# Every size is rendered straight from the vector (rsvg-convert), so small icons are not blurred
# downscales. The PNGs are then decoded and re-encoded here with fixed settings and no ancillary
# chunks, so two runs give byte-identical files.
# Usage: assets/make-artwork.sh            (needs root or sudo only when rsvg-convert is missing)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

missing=()
command -v rsvg-convert >/dev/null || missing+=(librsvg2-bin)
command -v python3 >/dev/null || missing+=(python3)
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

sizes=(16 24 32 48 64 128 256 512)
for s in "${sizes[@]}"; do
  rsvg-convert --width="$s" --height="$s" --format=png --output="$work/$s.png" "$here/logo.svg"
done

python3 - "$here" "$work" <<'PY'
import os
import struct
import sys
import zlib

here, work = sys.argv[1], sys.argv[2]
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
SIG = b"\x89PNG\r\n\x1a\n"


def read_rgba(path):
    """Decodes an 8-bit RGBA, non-interlaced PNG (what rsvg-convert writes) to (w, h, rows)."""
    data = open(path, "rb").read()
    if data[:8] != SIG:
        sys.exit(f"{path}: not a PNG")
    pos, idat, ihdr = 8, [], None
    while pos < len(data):
        length, ctype = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if ctype == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif ctype == b"IDAT":
            idat.append(body)
        elif ctype == b"IEND":
            break
    w, h, depth, colour, _comp, _filt, interlace = ihdr
    if (depth, colour, interlace) != (8, 6, 0):
        sys.exit(f"{path}: expected 8-bit RGBA non-interlaced, got depth {depth} colour {colour} interlace {interlace}")
    raw = zlib.decompress(b"".join(idat))
    stride = w * 4
    rows, prev = [], bytearray(stride)
    for y in range(h):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if ftype == 1:
            for i in range(4, stride):
                line[i] = (line[i] + line[i - 4]) & 0xFF
        elif ftype == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 0xFF
        elif ftype == 3:
            for i in range(stride):
                left = line[i - 4] if i >= 4 else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif ftype == 4:
            for i in range(stride):
                a = line[i - 4] if i >= 4 else 0
                b = prev[i]
                c = prev[i - 4] if i >= 4 else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        elif ftype != 0:
            sys.exit(f"{path}: bad filter type {ftype} in row {y}")
        rows.append(line)
        prev = line
    return w, h, rows


def chunk(ctype, body):
    return struct.pack(">I", len(body)) + ctype + body + struct.pack(">I", zlib.crc32(ctype + body) & 0xFFFFFFFF)


def encode_rgba(w, h, rows):
    """Encodes RGBA rows as a PNG with only IHDR, IDAT and IEND. Each row gets the Sub or Up
    filter, whichever leaves the smaller sum of absolute values: a fixed rule, so the output
    depends on the pixels alone."""
    out, prev = bytearray(), bytearray(w * 4)
    for line in rows:
        # Fully transparent pixels carry no colour; zero it so stray values never reach the file.
        line = bytearray(line)
        for i in range(3, len(line), 4):
            if line[i] == 0:
                line[i - 3:i] = b"\0\0\0"
        sub = bytes((line[i] - (line[i - 4] if i >= 4 else 0)) & 0xFF for i in range(len(line)))
        up = bytes((line[i] - prev[i]) & 0xFF for i in range(len(line)))
        cost = lambda f: sum(v if v < 128 else 256 - v for v in f)
        ftype, filtered = (1, sub) if cost(sub) <= cost(up) else (2, up)
        out.append(ftype)
        out += filtered
        prev = line
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return SIG + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(out), 9)) + chunk(b"IEND", b"")


def png_for(size):
    w, h, rows = read_rgba(os.path.join(work, f"{size}.png"))
    if (w, h) != (size, size):
        sys.exit(f"rsvg-convert gave {w}x{h} for {size} px")
    return encode_rgba(w, h, rows)


def write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    print(f"wrote {os.path.relpath(path, os.path.dirname(here))} ({len(data)} bytes)")


write(os.path.join(here, "logo.png"), png_for(512))

# ICO: ICONDIR (reserved 0, type 1 = icon, count), one 16-byte ICONDIRENTRY per image
# (width, height with 0 meaning 256, colour count 0, reserved 0, planes 1, bit count 32,
# bytes in image, offset from the file start), then the images. Every image is a PNG.
images = [png_for(s) for s in ICON_SIZES]
header = struct.pack("<HHH", 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries, body = b"", b""
for size, png in zip(ICON_SIZES, images):
    dim = 0 if size == 256 else size
    entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
    body += png
write(os.path.join(here, "VexloTweaks.ico"), header + entries + body)
PY
