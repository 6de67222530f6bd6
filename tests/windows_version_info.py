#!/usr/bin/env python3
"""Prints the version information of a Windows program as Explorer reads it: the four numbers of
its fixed part ("FixedFileVersion", "FixedProductVersion") and then every string, one NAME=VALUE
a line. Reads the resource as wrestool (icoutils) extracts it raw from stdin."""
import struct
import sys

FIXED_SIGNATURE = 0xFEEF04BD


def Align(offset):
    return (offset + 3) & ~3


def ReadBlock(data, offset):
    """One node: its key, its value's bytes, its children and where it ends."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = Align(key_end + 2)
    # Text values count their length in characters, binary ones in bytes.
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[value_start:value_start + value_bytes]
    children = []
    child = Align(value_start + value_bytes)
    while child < end:
        node = ReadBlock(data, child)
        children.append(node)
        child = Align(node[3])
    return key, value, children, end


def Main():
    data = sys.stdin.buffer.read()
    if len(data) < 6:
        sys.exit("no version resource")
    key, value, children, _ = ReadBlock(data, 0)
    if key != "VS_VERSION_INFO" or len(value) < 52:
        sys.exit("not a version resource: " + key)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", value)
    if signature != FIXED_SIGNATURE:
        sys.exit("the fixed part has no signature")
    numbers = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    print("FixedFileVersion=" + numbers(file_ms, file_ls))
    print("FixedProductVersion=" + numbers(product_ms, product_ls))
    for block in children:
        if block[0] != "StringFileInfo":
            continue
        for table in block[2]:
            for name, text, _, _ in table[2]:
                print("%s=%s" % (name, text.decode("utf-16-le").rstrip("\0")))


if __name__ == "__main__":
    Main()
