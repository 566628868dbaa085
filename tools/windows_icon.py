"""Writes the Windows program's icon (an .ico file) from the window icon.

    python3 tools/windows_icon.py ICON.txt PALETTE.txt OUT.ico

ICON.txt is the window icon that tools/datapod packs into the data pod
(assets/data/icon.txt: 16 rows of 16 characters, one hex digit a pixel for
a console colour, "." for a transparent pixel; lines beginning with "#"
are comments) and PALETTE.txt the display palette (assets/data/palette.txt:
"index RRGGBB" a line). The icon holds the picture at 16, 32 and 48 pixels
(32-bit bitmaps) and at 256 pixels (PNG), each pixel enlarged to a square
block so that it stays sharp.
"""
import struct
import sys
import zlib

SIZE = 16


def source_lines(path):
    with open(path, encoding="ascii") as f:
        lines = [line.rstrip("\r\n ") for line in f]
    return [line for line in lines if line and not line.startswith("#")]


def read_palette(path):
    colours = {}
    for line in source_lines(path):
        index, rgb = line.split()
        colours[int(index)] = int(rgb, 16)
    return colours


def read_icon(path, colours):
    """The icon as rows of (r, g, b, a)."""
    rows = source_lines(path)
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f"{path}: expected {SIZE} rows of {SIZE} pixels")
    pixels = []
    for row in rows:
        out = []
        for c in row:
            if c == ".":
                out.append((0, 0, 0, 0))
            else:
                rgb = colours.get(int(c, 16), 0)
                out.append((rgb >> 16, (rgb >> 8) & 255, rgb & 255, 255))
        pixels.append(out)
    return pixels


def enlarged(pixels, size):
    scale = size // SIZE
    return [[pixels[y // scale][x // scale] for x in range(size)] for y in range(size)]


def bitmap(pixels):
    """A 32-bit DIB as an icon holds it: bottom-up BGRA rows, then the
    1-bit AND mask (all clear: the alpha channel decides)."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + colour + bytes(mask_row * size)


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: windows_icon.py ICON.txt PALETTE.txt OUT.ico")
    pixels = read_icon(sys.argv[1], read_palette(sys.argv[2]))
    images = [(size, bitmap(enlarged(pixels, size))) for size in (16, 32, 48)]
    images.append((256, png(enlarged(pixels, 256))))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(sys.argv[3], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
