#!/usr/bin/env python3
"""Writes the small BMP samples of tests/data/good and tests/data/bad. Run from the repository root."""
import struct
from pathlib import Path


def bmp(width, height, bits, pixels, palette=(), compression=0, colours_used=None, header_size=40,
        offset_delta=0, planes=1, pad_header=True):
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in palette)
    if colours_used is None:
        colours_used = len(palette)
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, planes, bits, compression,
                       len(pixels), 2835, 2835, colours_used, 0)
    if pad_header:
        info += b"\0" * max(0, header_size - 40)
    offset = 14 + len(info) + len(table) + offset_delta
    gap = b"\0" * max(0, offset_delta)
    body = info + table + gap + pixels
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body


def rows(data_rows, row_bytes):
    padded = (row_bytes + 3) & ~3
    return b"".join(bytes(r).ljust(padded, b"\0") for r in data_rows)


GREY4 = [(i * 17, i * 17, i * 17) for i in range(16)]
COLOURS4 = [(0, 0, 0), (0, 0, 255), (0, 255, 0), (255, 0, 0)]

good = {
    # width 10: one full byte, one byte for the last 2 pixels, 2 bytes of padding per row
    "bmp1_w10.bmp": bmp(10, 3, 1, rows([[0xAA, 0x80], [0x0F, 0x40], [0xFF, 0xC0]], 2),
                        palette=[(10, 20, 30), (200, 150, 100)]),
    "bmp4_w3.bmp": bmp(3, 2, 4, rows([[0x12, 0x30], [0xFE, 0xD0]], 2), palette=GREY4, colours_used=0),
    "bmp8_w5.bmp": bmp(5, 3, 8, rows([[0, 1, 2, 3, 0], [3, 2, 1, 0, 3], [1, 1, 1, 1, 1]], 5),
                       palette=COLOURS4),
    "bmp24_2x2.bmp": bmp(2, 2, 24, rows([[1, 2, 3, 4, 5, 6], [7, 8, 9, 10, 11, 12]], 6)),
    "bmp32_3x2.bmp": bmp(3, 2, 32, bytes(range(24))),
    "bmp8_rle.bmp": bmp(6, 2, 8, bytes([3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 6, 2, 0, 1]), palette=COLOURS4,
                        compression=1),
    "bmp4_rle_w5.bmp": bmp(5, 2, 4, bytes([5, 0x12, 0, 0, 0, 5, 0x32, 0x10, 0, 0, 0, 0, 1]),
                           palette=COLOURS4, compression=2),
    "bmp8_header124.bmp": bmp(5, 1, 8, rows([[3, 2, 1, 0, 3]], 5), palette=COLOURS4, header_size=124),
    "bmp8_gap.bmp": bmp(5, 1, 8, rows([[3, 2, 1, 0, 3]], 5), palette=COLOURS4, offset_delta=16),
}

bad = {
    "rle8_run_past_row.bmp": bmp(4, 2, 8, bytes([9, 1, 0, 0, 2, 2, 0, 1]), palette=COLOURS4, compression=1),
    "rle8_absolute_past_row.bmp": bmp(4, 1, 8, bytes([0, 7, 1, 2, 3, 1, 2, 3, 1, 0, 0, 1]),
                                      palette=COLOURS4, compression=1),
    "rle4_run_past_row.bmp": bmp(3, 1, 4, bytes([255, 0x12, 0, 1]), palette=COLOURS4, compression=2),
    "rle4_absolute_past_row.bmp": bmp(3, 1, 4, bytes([0, 9, 0x12, 0x31, 0x23, 0x12, 0x30, 0, 0, 1]),
                                      palette=COLOURS4, compression=2),
    "rle8_more_row_ends_than_rows.bmp": bmp(2, 2, 8, bytes([2, 1, 0, 0, 2, 2, 0, 0, 2, 3, 0, 0, 0, 0]),
                                            palette=COLOURS4, compression=1),
    "rle8_no_picture_end.bmp": bmp(2, 2, 8, bytes([2, 1, 0, 0, 2, 2, 0, 0]), palette=COLOURS4,
                                   compression=1),
    "rle8_cut_in_absolute_run.bmp": bmp(8, 1, 8, bytes([0, 8, 1, 2, 3]), palette=COLOURS4, compression=1),
    "rle4_cut_in_absolute_run.bmp": bmp(8, 1, 4, bytes([0, 8, 0x12]), palette=COLOURS4, compression=2),
    "rle8_delta.bmp": bmp(4, 2, 8, bytes([4, 1, 0, 0, 0, 2, 1, 0, 0, 1]), palette=COLOURS4, compression=1),
    "rle4_delta.bmp": bmp(4, 2, 4, bytes([4, 0x11, 0, 0, 0, 2, 1, 0, 0, 1]), palette=COLOURS4,
                          compression=2),
    "top_down.bmp": bmp(2, -2, 24, rows([[1, 2, 3, 4, 5, 6], [7, 8, 9, 10, 11, 12]], 6)),
    "zero_width.bmp": bmp(0, 2, 24, b""),
    "zero_height.bmp": bmp(2, 0, 24, b""),
    "negative_width.bmp": bmp(-2, 2, 24, rows([[1, 2, 3, 4, 5, 6], [7, 8, 9, 10, 11, 12]], 6)),
    "offset_inside_headers.bmp": bmp(2, 1, 24, rows([[1, 2, 3, 4, 5, 6]], 6), offset_delta=-4),
    "huge_size.bmp": bmp(40000, 40000, 24, b"\0" * 16),
    "cap_plus_one_row.bmp": bmp(8192, 8193, 8, b"\0" * 16, palette=COLOURS4),
    "colours_used_huge.bmp": bmp(2, 1, 8, b"\0" * 4, palette=COLOURS4, colours_used=0x7FFFFFFF),
    "header_size_huge.bmp": bmp(2, 1, 24, b"\0" * 8, header_size=0xFFFFFFF0, pad_header=False),
    "bpp16.bmp": bmp(2, 1, 16, b"\0" * 4),
    "bpp2.bmp": bmp(4, 1, 2, b"\x1b\0\0\0", palette=COLOURS4),
    "core_header.bmp": struct.pack("<2sIHHI", b"BM", 26 + 48, 0, 0, 26) + struct.pack("<IhhHH", 12, 4, 4, 1, 24)
                       + b"\1" * 48,
    "cut_in_pixels.bmp": bmp(4, 4, 24, b"\1" * 20),
    "cut_in_header.bmp": bmp(2, 1, 24, b"\0" * 8)[:30],
    "index_past_palette.bmp": bmp(3, 1, 8, rows([[0, 200, 255]], 3), palette=COLOURS4[:2]),
}

root = Path("tests/data")
for folder, samples in (("good", good), ("bad", bad)):
    (root / folder).mkdir(parents=True, exist_ok=True)
    for name, data in samples.items():
        (root / folder / name).write_bytes(data)
