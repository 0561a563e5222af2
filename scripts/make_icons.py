#!/usr/bin/env python3
"""Draws the Veldrath application icon and writes it as PNG files (also the
browser page's favicon and the sizes its manifest offers for installing),
and as the XPM the game's window shows under X11 and the Windows icon that
the Windows build links into veldrath.exe.

The icon is a 32 x 32 cell scene in the game's own colours: grains of sand
falling into a walled basin of water and heaping up on its floor, and a fire
burning on the basin's lid. Each size scales the cells up without smoothing,
so the larger icons look like the play area with its square cells.

    scripts/make_icons.py           rewrite data/icons/hicolor/*/apps/veldrath.png
                                    and data/icons/veldrath.xpm
                                    and packaging/windows/veldrath.ico
                                    and packaging/web/page/icon-*.png
    scripts/make_icons.py --check   exit 1 if the committed icons differ from the scene

Standard library only.
"""
import struct
import sys
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ICON_DIR = ROOT / "data" / "icons" / "hicolor"
SIZES = (32, 64, 128, 256)
XPM_PATH = ICON_DIR.parent / "veldrath.xpm"
XPM_SIZE = 64
WINDOWS_ICON = ROOT / "packaging" / "windows" / "veldrath.ico"
# Uncompressed bitmaps, so the file is the same whatever zlib wrote it;
# Windows scales the 128 one up where it wants 256.
WINDOWS_SIZES = (32, 64, 128)
WEB_DIR = ROOT / "packaging" / "web" / "page"
# The favicon, and the two sizes browsers ask of an installable web app.
WEB_SIZES = (32, 192, 512)

# The colours the game draws its cells in.
COLOURS = {
    ".": (0, 0, 0),  # empty
    "#": (90, 90, 90),  # wall
    "s": (255, 210, 128),  # sand
    "w": (0, 0, 255),  # water
    "f": (255, 0, 0),  # fire
}

SCENE = """
................................
........s.......................
.........s.............f........
........s..............f........
.........s......f......ff...f...
........s..............ff...f...
.........s..........f..fff..ff..
........s...........f.ffff.fff..
.........s..........ffffffffff..
........s..........ffffffffffff.
.........s.........ffffffffffff.
........s.........fffffffffffff.
.........s........fffffffffffff.
.##.....s.........fffffffffffff.
.##......s........fffffffffffff.
.##.....s........##############.
.##......s.......##############.
.##.....s....................##.
.##.....sss..................##.
.##wwwwwssswwwwwwwwwwwwwwwwww##.
.##wwwwwsssswwwwwwwwwwwwwwwww##.
.##wwwwssssswwwwwwwwwwwwwwwww##.
.##wwwwsssssswwwwwwwwwwwwwwww##.
.##wwwssssssswwwwwwwwwwwwwwww##.
.##wwwsssssssswwwwwwwwwwwwwww##.
.##wwsssssssssswwwwwwwwwwwwww##.
.##wsssssssssssswwwwwwwwwwwww##.
.##sssssssssssssswwwwwwwwwwww##.
.##ssssssssssssssswwwwwwwwwww##.
.##############################.
.##############################.
................................
"""


def scene_rows():
    rows = SCENE.split()
    assert len(rows) == 32 and all(len(r) == 32 for r in rows), "the scene is 32 x 32 cells"
    return rows


def scanlines(size):
    """Raw PNG image data: per row a filter byte 0, then RGB triples."""
    rows = scene_rows()
    scale = size // len(rows)
    data = bytearray()
    for row in rows:
        line = b"".join(bytes(COLOURS[cell]) * scale for cell in row)
        data += (b"\0" + line) * scale
    return bytes(data)


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def header(size):
    # 8 bits per channel, colour type 2 (RGB), no interlace
    return struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)


def png(size):
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header(size)) +
            chunk(b"IDAT", zlib.compress(scanlines(size), 9)) + chunk(b"IEND", b""))


def dib(size):
    """An icon image as Windows stores it: a BITMAPINFOHEADER of twice the
    height, 32-bit BGRA rows bottom-up, then an all-clear (opaque) 1-bit AND
    mask with rows padded to 32 bits."""
    rows = scene_rows()
    scale = size // len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        line = b"".join(bytes(reversed(COLOURS[cell])) + b"\xff" for cell in row for _ in range(scale))
        pixels += line * scale
    mask = bytes((size + 31) // 32 * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask), 0, 0,
                         0, 0)
    return header + bytes(pixels) + mask


def ico():
    images = [dib(size) for size in WINDOWS_SIZES]
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(WINDOWS_SIZES, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(images)


def read_png(blob):
    """The IHDR body and the decompressed image data of a PNG file, or None
    if the file is not one this script could have written."""
    pos, ihdr, idat = 8, b"", b""
    try:
        while blob[pos + 4:pos + 8] != b"IEND":
            (length,) = struct.unpack(">I", blob[pos:pos + 4])
            kind, body = blob[pos + 4:pos + 8], blob[pos + 8:pos + 8 + length]
            pos += 12 + length
            if kind == b"IHDR":
                ihdr = body
            elif kind == b"IDAT":
                idat += body
        return ihdr, zlib.decompress(idat)
    except (struct.error, zlib.error):
        return None


def xpm():
    """C source of an XPM image whose colour keys are the scene's own cell
    characters; the game includes it."""
    rows = scene_rows()
    scale = XPM_SIZE // len(rows)
    colours = [f'"{cell} c #{r:02X}{g:02X}{b:02X}",' for cell, (r, g, b) in COLOURS.items()]
    lines = [f'"{"".join(cell * scale for cell in row)}",' for row in rows for _ in range(scale)]
    return "\n".join(["/* XPM */", "static const char *veldrath_xpm[] = {",
                      f'"{XPM_SIZE} {XPM_SIZE} {len(COLOURS)} 1",', *colours, *lines, "};", ""])


def png_paths():
    """Every PNG file this script writes, with its size."""
    return ([(ICON_DIR / f"{size}x{size}" / "apps" / "veldrath.png", size) for size in SIZES] +
            [(WEB_DIR / f"icon-{size}.png", size) for size in WEB_SIZES])


def check():
    """Compares pixels rather than bytes, so another zlib build does not matter."""
    stale = [
        path for path, size in png_paths()
        if not path.is_file()
        or read_png(path.read_bytes()) != (header(size), scanlines(size))
    ]
    if not XPM_PATH.is_file() or XPM_PATH.read_text() != xpm():
        stale.append(XPM_PATH)
    if not WINDOWS_ICON.is_file() or WINDOWS_ICON.read_bytes() != ico():
        stale.append(WINDOWS_ICON)
    for path in stale:
        print(f"{path} does not match the scene; run scripts/make_icons.py", file=sys.stderr)
    return 1 if stale else 0


def write():
    for path, size in png_paths():
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(png(size))
        print(path)
    XPM_PATH.write_text(xpm())
    print(XPM_PATH)
    WINDOWS_ICON.parent.mkdir(parents=True, exist_ok=True)
    WINDOWS_ICON.write_bytes(ico())
    print(WINDOWS_ICON)
    return 0


if __name__ == "__main__":
    sys.exit(check() if sys.argv[1:] == ["--check"] else write())
