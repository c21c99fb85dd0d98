#!/usr/bin/env python3
"""Writes the committed seed corpora of the fuzz targets (run from fuzz/)."""
import os

HEAD = bytes([0xF0, 0x00, 0x11, 0x22, 0x0A, 0, 0, 0, 0])


def pack7(data):
    data = bytes(data) + bytes((-len(data)) % 4)
    out = bytearray()
    for i in range(0, len(data), 4):
        group = data[i:i + 4]
        out += bytes(b & 0x7F for b in group)
        out.append(sum(((b >> 7) & 1) << j for j, b in enumerate(group)))
    return bytes(out)


def checksum(data):
    return sum(data) & 0x7F


def reply(kind, *fields):
    return HEAD + bytes([kind, *fields, 0xF7])


def data_reply(kind, data):
    return HEAD + bytes([kind, checksum(data)]) + pack7(data) + b"\xf7"


def groups(value, count):
    return bytes((value >> (7 * i)) & 0x7F for i in range(count))


def command(number, args=b""):
    return HEAD + bytes([number]) + args + b"\xf7"


def list_copy(bad, factory):
    chunk = bytearray(b"\xff" * 256)
    chunk[0:4] = bytes([0xA5, 0xA5, factory & 0xFF, factory >> 8])
    for i, block in enumerate(sorted(bad)[:101]):
        chunk[4 + 2 * i:6 + 2 * i] = bytes([block & 0xFF, block >> 8])
    return bytes(chunk)


def write(folder, name, content):
    with open(os.path.join("corpus", folder, name), "wb") as f:
        f.write(content)


copy = list_copy([5, 700], 1)
empty = b"\xff" * 64
pieces = [copy[64 * i:64 * i + 64] for i in range(4)]
ok, fail = 0, 2

# Replies: single messages, and whole conversations as the engine expects them.
write("reply", "identity", HEAD[:5] + bytes([0x15, 0x1A, 0x6F, 0x3A, 0x20, 0x01, 0x12]) + b"Qel\x7f\xf7")
write("reply", "transfer-on", reply(0x43, 1))
write("reply", "cut-short", data_reply(0x29, pieces[0])[:40] + b"\xf7")
search = (reply(0x43, 1) + reply(0x2E) + data_reply(0x29, pieces[0]) + data_reply(0x29, empty)
          + b"".join(data_reply(0x29, p) for p in pieces * 2) + data_reply(0x29, empty))
write("reply", "search", search)
page = reply(0x2B) + reply(0x2C, 0) * 33 + reply(0x2D, ok)
write("reply", "first-pages", search + reply(0x2A, ok) + page * 3)
write("reply", "erase-fails", search + reply(0x2A, fail) + reply(0x28, 0) + reply(0x2A, ok) + page)
write("reply", "time-out", search + reply(0x2A, ok) + reply(0x2B) + b"\xfe" * 26 + reply(0x2A, ok) + page)
defects = bytes([0x08] + [0] * 63)
write("reply", "unused-flash", reply(0x2E) + data_reply(0x29, empty) * 2
      + (data_reply(0x28, defects) + data_reply(0x28, bytes(64))) * 2 + reply(0x2A, ok) + page)

# Copies of the list as read back from block 0.
write("listcopy", "two-marks", copy)
write("listcopy", "empty-page", b"\xff" * 256)
write("listcopy", "full", list_copy(range(1, 300, 2), 3))
write("listcopy", "torn", bytes([0x25, 0xA5, 0x01, 0x00, 0x05, 0x00]) + b"\xff" * 250)
write("listcopy", "unordered", list_copy([], 0)[:4] + bytes([9, 0, 5, 0]) + b"\xff" * 248)

# Commands as the updater sends them.
reset = command(14, bytes([1, 9]) + groups(6161, 4) + bytes([0x35, 0x1C, 0x62, 0x0B]))
frame = bytes(range(256)) * 8
piece = frame[:64]
write("simdevice", "identify", command(0))
write("simdevice", "read", reset + command(9, b"\x7f" + groups(0, 3) + b"\x00") + command(8, b"\x7f\x01"))
write("simdevice", "write-page", reset + command(10, b"\x7f" + groups(1, 2)) + command(11, b"\x7f" + groups(1, 2) + b"\x00")
      + command(12, bytes([checksum(piece)]) + pack7(piece)) + command(13) + command(15))
write("simdevice", "no-reset", command(10, b"\x7f" + groups(1023, 2)) + command(13))
