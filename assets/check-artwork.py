#!/usr/bin/env python3
"""Checks the artwork that make-artwork.sh generates (standard library only).

  logo.png         PNG signature, IHDR 512 x 512 8-bit RGBA, every chunk CRC, IEND last, image
                   data that inflates to whole filtered rows, transparent corner and opaque centre
  VexloTweaks.ico  ICONDIR header, seven entries for 16, 24, 32, 48, 64, 128 and 256 px, 32 bits,
                   planes 1, each image inside the file without overlap, each a valid PNG of the
                   entry's size (or a 32-bit DIB with its AND mask)

Usage: check-artwork.py [LOGO_PNG ICO]   (defaults to the files beside this script)
The last line is `artwork: N passed, M failed`; the exit status is 1 when anything failed.
"""
import os
import struct
import sys
import zlib

PNG_SIG = b"\x89PNG\r\n\x1a\n"
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]

passed = failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print(f"FAIL {name}" + (f": {detail}" if detail else ""))
    return ok


def unfilter(raw, w, h):
    """Undoes the PNG row filters of 8-bit RGBA data; returns the rows, or None on a bad filter type."""
    stride, rows, prev = w * 4, [], bytearray(w * 4)
    for y in range(h):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if ftype > 4:
            return None
        for i in range(stride if ftype else 0):
            a = line[i - 4] if i >= 4 else 0
            b, c = prev[i], (prev[i - 4] if i >= 4 else 0)
            if ftype == 1:
                pred = a
            elif ftype == 2:
                pred = b
            elif ftype == 3:
                pred = (a + b) >> 1
            else:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            line[i] = (line[i] + pred) & 0xFF
        rows.append(line)
        prev = line
    return rows


def check_png(label, data, size):
    """Checks one PNG that should be size x size, 8-bit RGBA."""
    if not check(f"{label}: PNG signature", data[:8] == PNG_SIG):
        return
    chunks, pos, bad_crc, truncated = [], 8, [], False
    while pos < len(data):
        if pos + 12 > len(data):
            truncated = True
            break
        length, ctype = struct.unpack(">I4s", data[pos:pos + 8])
        if pos + 12 + length > len(data):
            truncated = True
            break
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if crc != zlib.crc32(ctype + body) & 0xFFFFFFFF:
            bad_crc.append(ctype.decode("latin-1"))
        chunks.append((ctype, body))
        pos += 12 + length
    check(f"{label}: chunks fit the file", not truncated)
    check(f"{label}: chunk CRCs valid", not bad_crc, f"bad CRC in {bad_crc}")
    types = [t for t, _ in chunks]
    check(f"{label}: IEND last", types[-1:] == [b"IEND"], f"chunk order {types}")
    if not check(f"{label}: IHDR first", types[:1] == [b"IHDR"] and len(chunks[0][1]) == 13):
        return
    w, h, depth, colour, comp, filt, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    check(f"{label}: IHDR {size}x{size}", (w, h) == (size, size), f"{w}x{h}")
    if not check(f"{label}: IHDR 8-bit RGBA (colour type 6), not interlaced",
                 (depth, colour, comp, filt, interlace) == (8, 6, 0, 0, 0),
                 f"depth {depth} colour {colour} compression {comp} filter {filt} interlace {interlace}"):
        return
    try:
        raw = zlib.decompress(b"".join(b for t, b in chunks if t == b"IDAT"))
    except zlib.error as e:
        check(f"{label}: IDAT inflates", False, str(e))
        return
    if not check(f"{label}: IDAT holds {h} rows of {w} pixels", len(raw) == h * (1 + 4 * w),
                 f"{len(raw)} bytes"):
        return
    rows = unfilter(raw, w, h)
    if not check(f"{label}: row filter types valid", rows is not None):
        return
    corner_alpha = rows[0][3]
    centre_alpha = rows[h // 2][4 * (w // 2) + 3]
    check(f"{label}: transparent outside the rounded tile", corner_alpha == 0, f"corner alpha {corner_alpha}")
    check(f"{label}: opaque tile", centre_alpha == 255, f"centre alpha {centre_alpha}")


def check_dib(label, data, size):
    """Checks one BMP/DIB icon image: BITMAPINFOHEADER, 32 bits, double height (XOR + AND mask)."""
    if not check(f"{label}: DIB header", len(data) >= 40 and struct.unpack("<I", data[:4])[0] == 40):
        return
    _, w, h, planes, bits, compression = struct.unpack("<IiiHHI", data[:20])
    check(f"{label}: DIB {size}x{size}", (w, h) == (size, 2 * size), f"{w}x{h} (height counts the mask)")
    check(f"{label}: DIB 32-bit uncompressed", (planes, bits, compression) == (1, 32, 0))
    mask_stride = (size + 31) // 32 * 4
    need = 40 + size * size * 4 + mask_stride * size
    check(f"{label}: DIB pixels and AND mask present", len(data) >= need, f"{len(data)} < {need} bytes")


def check_ico(label, data):
    if not check(f"{label}: ICONDIR header", len(data) >= 6 and struct.unpack("<HH", data[:4]) == (0, 1)):
        return
    (count,) = struct.unpack("<H", data[4:6])
    check(f"{label}: 7 images", count == len(ICON_SIZES), f"{count}")
    dir_end = 6 + 16 * count
    if not check(f"{label}: directory fits the file", dir_end <= len(data)):
        return
    entries = [struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i]) for i in range(count)]
    sizes = sorted(w or 256 for w, *_ in entries)
    check(f"{label}: sizes {ICON_SIZES}", sizes == ICON_SIZES, f"{sizes}")
    spans = []
    for w, h, colours, reserved, planes, bits, length, offset in entries:
        size = w or 256
        name = f"{label}[{size}]"
        check(f"{name}: square entry", w == h, f"{w}x{h}")
        check(f"{name}: planes 1, 32 bits, no palette",
              (planes, bits, colours, reserved) == (1, 32, 0, 0),
              f"planes {planes} bits {bits} colours {colours} reserved {reserved}")
        if not check(f"{name}: image inside the file, after the directory",
                     length > 0 and offset >= dir_end and offset + length <= len(data),
                     f"offset {offset} size {length} file {len(data)}"):
            continue
        spans.append((offset, offset + length))
        image = data[offset:offset + length]
        if image[:8] == PNG_SIG:
            check_png(name, image, size)
        else:
            check_dib(name, image, size)
    spans.sort()
    check(f"{label}: images do not overlap", all(a[1] <= b[0] for a, b in zip(spans, spans[1:])))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) not in (1, 3):
        sys.exit(__doc__)
    png_path, ico_path = sys.argv[1:3] if len(sys.argv) == 3 else (
        os.path.join(here, "logo.png"), os.path.join(here, "VexloTweaks.ico"))
    for path, run in ((png_path, lambda d: check_png("logo.png", d, 512)),
                      (ico_path, lambda d: check_ico("VexloTweaks.ico", d))):
        try:
            data = open(path, "rb").read()
        except OSError as e:
            check(f"{os.path.basename(path)}: readable", False, str(e))
            continue
        run(data)
    print(f"artwork: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
