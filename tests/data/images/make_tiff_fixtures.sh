#!/usr/bin/env bash
# Regenerates the TIFF fixtures that ImageMagick does not write, with libtiff's own tools
# (Debian's libtiff-tools), from raw pixels that are also written out as the reference PNGs.
#   tifftiled.tif          37 x 29 RGB in 16 x 16 tiles: the last column and row of tiles run
#                          past the picture's right and bottom edges
#   tiffstraight.tif       37 x 29 RGBA with unassociated alpha in one strip; the fully
#                          transparent pixels keep their colour
#   tiffstraighttiled.tif  the same in 16 x 16 LZW tiles
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Raw pixels and a PNG of them, written without any image library.
python3 - "$tmp" <<'EOF'
import struct, sys, zlib
tmp = sys.argv[1]
W, H = 37, 29

def rgb(x, y):
    return ((x * 7 + y * 3) & 255, (y * 9) & 255, (x * y) & 255)

def alpha(x, y):
    return (0, 255, 128, 64)[(x + 2 * y) % 4]

def png(path, channels, pixel):
    rows = b"".join(b"\0" + bytes(v for x in range(W) for v in pixel(x, y)) for y in range(H))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    colour_type = {3: 2, 4: 6}[channels]
    header = struct.pack(">IIBBBBB", W, H, 8, colour_type, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))

def raw(path, pixel):
    with open(path, "wb") as f:
        f.write(bytes(v for y in range(H) for x in range(W) for v in pixel(x, y)))

opaque = lambda x, y: rgb(x, y)
straight = lambda x, y: rgb(x, y) + (alpha(x, y),)
png("tifftiled.png", 3, opaque)
png("tiffstraight.png", 4, straight)
raw(tmp + "/rgb.raw", opaque)
raw(tmp + "/rgba.raw", straight)
EOF

raw2tiff -c none -w 37 -l 29 -b 3 -p rgb "$tmp/rgb.raw" "$tmp/rgb.tif"
tiffcp -f msb2lsb -c none -t -w 16 -l 16 "$tmp/rgb.tif" tifftiled.tif

raw2tiff -c none -w 37 -l 29 -b 4 -p rgb "$tmp/rgba.raw" "$tmp/rgba.tif" 2>/dev/null
tiffset -s 338 1 2 "$tmp/rgba.tif" 2>/dev/null  # ExtraSamples: one unassociated alpha
tiffcp -f msb2lsb -c none "$tmp/rgba.tif" tiffstraight.tif
tiffcp -f msb2lsb -c lzw -t -w 16 -l 16 "$tmp/rgba.tif" tiffstraighttiled.tif
