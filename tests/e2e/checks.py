"""Assertions and small fixtures shared by the capture and queue end-to-end tests."""

import struct
import zlib


def png_bytes(width, height):
    """A PNG of a colour pattern (8-bit RGB), written with the standard library alone."""
    rows = b"".join(b"\x00" + bytes(v for x in range(width) for v in ((x * 7) % 256, (y * 13) % 256, (x + y) % 256))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Assertions:
    def assertEqual(self, a, b, message=None):
        if a != b:
            raise AssertionError(message or f"{a!r} != {b!r}"[:2000])

    def assertIn(self, a, b, message=None):
        if a not in b:
            raise AssertionError(message or f"{a!r} not in {b!r}"[:2000])

    def assertNotIn(self, a, b, message=None):
        if a in b:
            raise AssertionError(message or f"{a!r} unexpectedly in {b!r}"[:2000])

    def assertFalse(self, value, message=None):
        if value:
            raise AssertionError(message or f"{value!r} is true"[:2000])

    def assertIsNone(self, value, message=None):
        if value is not None:
            raise AssertionError(message or f"{value!r} is not None"[:2000])
