#!/usr/bin/env python3
"""Where there is ink on the screen: ink_rows.py X Y WIDTH HEIGHT prints, for the rectangle at
(X, Y) of the X display in $DISPLAY, each band of rows holding dark pixels as "FIRST LAST"
(rows counted from Y), one band a line. Needs only libX11."""
import ctypes
import sys

x, y, width, height = (int(value) for value in sys.argv[1:5])
xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XDefaultRootWindow.restype = ctypes.c_ulong
xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
xlib.XGetImage.restype = ctypes.c_void_p
xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                           ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
xlib.XGetPixel.restype = ctypes.c_ulong
xlib.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
xlib.XDestroyImage.argtypes = [ctypes.c_void_p]

display = xlib.XOpenDisplay(None)
if not display:
    sys.exit("ink_rows: cannot open the display")
ALL_PLANES, Z_PIXMAP = 0xFFFFFFFFFFFFFFFF, 2
image = xlib.XGetImage(display, xlib.XDefaultRootWindow(display), x, y, width, height, ALL_PLANES, Z_PIXMAP)
if not image:
    sys.exit("ink_rows: cannot read the screen there")


def dark(pixel):
    red, green, blue = (pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255
    return 0.299 * red + 0.587 * green + 0.114 * blue < 128


inked = [any(dark(xlib.XGetPixel(image, column, row)) for column in range(width)) for row in range(height)]
xlib.XDestroyImage(image)
first = None
for row, ink in enumerate(inked + [False]):
    if ink and first is None:
        first = row
    elif not ink and first is not None:
        print(first, row - 1)
        first = None
