#!/usr/bin/env python3
"""A picture of the X display in $DISPLAY: screenshot.py FILE.png [X Y WIDTH HEIGHT] writes the
whole screen, or that rectangle of it, as a PNG file; screenshot.py --colours X Y WIDTH HEIGHT
prints how many pixels there are clearly red and clearly blue ("red N blue M"), as text in those
colours leaves them; screenshot.py --ink X Y WIDTH HEIGHT prints each band of rows holding dark
pixels as "FIRST LAST" (rows counted from Y), one band a line; screenshot.py --ink-box X Y WIDTH
HEIGHT prints the box round the dark pixels as "LEFT TOP RIGHT BOTTOM" (counted from X and Y), or
"none"; screenshot.py --darkest X Y WIDTH HEIGHT prints the luminance (0 to 255) of its darkest pixel;
screenshot.py --count-colour RRGGBB X Y WIDTH HEIGHT prints how many of its pixels have that
colour, give or take a little. Needs only libX11."""
import ctypes
import struct
import sys
import zlib

xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XDefaultRootWindow.restype = ctypes.c_ulong
xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
xlib.XDefaultScreen.argtypes = [ctypes.c_void_p]
xlib.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
xlib.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
xlib.XGetImage.restype = ctypes.c_void_p
xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                           ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
xlib.XGetPixel.restype = ctypes.c_ulong
xlib.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
xlib.XDestroyImage.argtypes = [ctypes.c_void_p]

display = xlib.XOpenDisplay(None)
if not display:
    sys.exit("screenshot: cannot open the display")
screen = xlib.XDefaultScreen(display)
wanted = None
if sys.argv[1] == "--count-colour":
    wanted = int(sys.argv.pop(2), 16)
if len(sys.argv) == 6:
    x, y, width, height = (int(value) for value in sys.argv[2:6])
else:
    x, y, width, height = 0, 0, xlib.XDisplayWidth(display, screen), xlib.XDisplayHeight(display, screen)
# A rectangle reaching past the screen is cut to it.
x, y = max(0, x), max(0, y)
width = min(width, xlib.XDisplayWidth(display, screen) - x)
height = min(height, xlib.XDisplayHeight(display, screen) - y)
ALL_PLANES, Z_PIXMAP = 0xFFFFFFFFFFFFFFFF, 2
image = xlib.XGetImage(display, xlib.XDefaultRootWindow(display), x, y, width, height, ALL_PLANES, Z_PIXMAP)
if not image:
    sys.exit("screenshot: cannot read the screen there")
pixels = [[xlib.XGetPixel(image, column, row) for column in range(width)] for row in range(height)]
xlib.XDestroyImage(image)

if sys.argv[1] == "--colours":
    red = blue = 0
    for line in pixels:
        for pixel in line:
            r, g, b = (pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255
            red += r > 150 and g < 100 and b < 100
            blue += b > 150 and r < 100 and g < 100
    print("red", red, "blue", blue)
    sys.exit(0)

def luminance(pixel):
    return 0.299 * ((pixel >> 16) & 255) + 0.587 * ((pixel >> 8) & 255) + 0.114 * (pixel & 255)


if sys.argv[1] == "--darkest":
    print(int(min(luminance(pixel) for line in pixels for pixel in line)))
    sys.exit(0)

if sys.argv[1] == "--count-colour":
    near = lambda pixel: all(abs(((pixel >> shift) & 255) - ((wanted >> shift) & 255)) <= 12 for shift in (16, 8, 0))
    print(sum(near(pixel) for line in pixels for pixel in line))
    sys.exit(0)


def dark(pixel):
    red, green, blue = (pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255
    return 0.299 * red + 0.587 * green + 0.114 * blue < 128


if sys.argv[1] == "--ink-box":
    inked = [(column, row) for row, line in enumerate(pixels) for column, pixel in enumerate(line) if dark(pixel)]
    if not inked:
        print("none")
    else:
        columns, rows = [column for column, _ in inked], [row for _, row in inked]
        print(min(columns), min(rows), max(columns), max(rows))
    sys.exit(0)

if sys.argv[1] == "--ink":
    first = None
    for row, ink in enumerate([any(dark(pixel) for pixel in line) for line in pixels] + [False]):
        if ink and first is None:
            first = row
        elif not ink and first is not None:
            print(first, row - 1)
            first = None
    sys.exit(0)

rows = bytearray()
for line in pixels:
    rows.append(0)   # no filter
    for pixel in line:
        rows += bytes(((pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


with open(sys.argv[1], "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n")
    out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
    out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
    out.write(chunk(b"IEND", b""))
