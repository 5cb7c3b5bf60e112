#!/usr/bin/env python3
"""Writes the hostile metafile samples of tests/data/bad/ (replayed by picture_fuzz_replay on every build).

Each is small and made here from the record layouts, so no sample comes from elsewhere."""
import math
import os
import struct
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "bad")


def record(kind, *fields, body=b""):
    data = b"".join(struct.pack("<I", f & 0xFFFFFFFF) for f in fields) + body
    data += b"\0" * (-len(data) % 4)
    return struct.pack("<II", kind, 8 + len(data)) + data


def emf(records, frame=(0, 0, 2540, 2540), device=(1000, 1000), mm=(254, 254), handles=16):
    body = b"".join(records) + record(14, 0, 16, 20)
    header = struct.pack("<II4i4iIIIIHHIII2i2i", 1, 88, 0, 0, device[0] - 1, device[1] - 1, *frame, 0x464D4520,
                         0x10000, 88 + len(body), len(records) + 2, handles, 0, 0, 0, 0, *device, *mm)
    return header + body


def dib(width, height):
    stride = (width * 3 + 3) // 4 * 4
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, stride * height, 0, 0, 0, 0)
    return info, bytes(range(256))[: stride * height].ljust(stride * height, b"\x80")


def stretch_dibits(x, y, cx, cy, sx, sy, scx, scy):
    info, bits = dib(4, 4)
    return record(81, 0, 0, 0, 0, x, y, sx, sy, scx, scy, 80, len(info), 80 + len(info), len(bits), 0,
                  0x00CC0020, cx, cy, body=info + bits)


def wmf(records, objects=4):
    body = b"".join(records) + struct.pack("<IH", 3, 0)
    return struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(body)) // 2, objects, 0, 0) + body


def wrecord(function, *words, body=b""):
    data = b"".join(struct.pack("<h", w) for w in words) + body
    data += b"\0" * (len(data) % 2)
    return struct.pack("<IH", 3 + len(data) // 2, function) + data


SAMPLES = {
    # Found by fuzzing: a bitmap scaled below a pixel and drawn onto the bottom-up rows faulted in Qt.
    "blit_scaled_below_a_pixel.emf": emf([stretch_dibits(10, 10, 1, 1, 0, 0, 4, 4)] * 4),
    # A source rectangle reaching outside the bitmap, and one wholly outside it.
    "blit_source_outside_bitmap.emf": emf([stretch_dibits(0, 0, 50, 50, -3, -3, 200, 200),
                                           stretch_dibits(0, 0, 50, 50, -2, 4, 2, 2)]),
    # Found by fuzzing: turning negative extents round added two 32-bit values or negated the smallest one.
    "blit_extents_past_32_bits.emf": emf([stretch_dibits(0, 0, 50, 50, -2000000000, 0, -2000000000, 4),
                                          stretch_dibits(0, 0, -2 ** 31, 50, 0, 0, -2 ** 31, 4),
                                          stretch_dibits(0, 0, -2 ** 31, 50, 2, 0, -2, 4)]),
    # Found by fuzzing: Qt lost memory making a region of a clip path far taller than the picture.
    "clip_path_taller_than_a_region.emf": emf([record(59), record(3, 0, 0, 0, 0, 5, 0, -200000, 50, -200000, 50,
                                                             200000, 25, 200000, 0, 200000),
                                               record(60), record(67, 5), record(43, 0, 0, 100, 100)]),
    "polyline16_count_lies.emf": emf([record(87, 0, 0, 10, 10, 100000, 0x00050005)]),
    "record_size_past_end.emf": emf([struct.pack("<II", 43, 0x7FFFFFF0)]),
    "record_size_not_whole_words.emf": emf([struct.pack("<II", 43, 26) + b"\0" * 18]),
    "polypolygon_counts_exceed_points.emf": emf([record(91, 0, 0, 0, 0, 2, 3, 3, 1000, 0, 0, 0)]),
    "frame_far_past_the_cap.emf": emf([record(43, 0, 0, 10, 10)], frame=(0, 0, 0x7FFFFFFF, 0x7FFFFFFF)),
    "deep_save_levels.emf": emf([record(33)] * 5000 + [record(34, -4000)]),
    "objects_past_the_handle_table.emf": emf([record(39, i * 977 % 70000, 0, 0xFF, 0) for i in range(1, 200)]
                                             + [record(37, 69999)], handles=64),
    "dashed_pen_across_a_huge_line.emf": emf([record(38, 1, 1, 1, 0, 0), record(37, 1),
                                             record(27, -2000000000, -2000000000), record(54, 2000000000, 2000000000)]),
    "nan_world_transform.emf": emf([record(35, 0x7FC00000, 0, 0, 0x7F800000, 0, 0), record(43, 0, 0, 10, 10)]),
    "wmf_record_size_zero.wmf": wmf([struct.pack("<IH", 0, 0x041B)]),
    "wmf_text_length_past_record.wmf": wmf([wrecord(0x0521, 3000, body=b"ab")]),
    "wmf_polypolygon_counts_lie.wmf": wmf([wrecord(0x0538, 2, 30000, 30000, 1, 2)]),
}


def placeable(data, box=(0, 0, 1440, 1440), inch=1440):
    head = struct.pack("<IH4hHI", 0x9AC6CDD7, 0, *box, inch, 0)
    checksum = 0
    for i in range(0, len(head), 2):
        checksum ^= struct.unpack("<H", head[i:i + 2])[0]
    return head + struct.pack("<H", checksum) + data


def star(points, turn, centre, radius):
    """A closed polygon visiting `points` corners of a circle `turn` corners apart: it crosses itself
    about points * turn times."""
    out = []
    for k in range(points):
        angle = 2 * math.pi * k * turn / points
        out += [int(centre + radius * math.cos(angle)), int(centre + radius * math.sin(angle))]
    return out


# 8192 x 8192 pixels (the surface cap) on a reference device of 1000 pixels per 254 millimetres.
FRAME_8192 = (0, 0, 208077, 208077)

# Drawing work in proportion to the surface, not to the few bytes that ask for it.
SAMPLES.update({
    # A clip path crossing itself about a thousand times over the whole picture, then a black fill through it.
    "clip_path_self_crossing_8192.emf": emf([record(59), record(3, 0, 0, 8191, 8191, 50, *star(50, 23, 4096, 4000)),
                                             record(60), record(67, 5), record(37, 0x80000004),
                                             record(43, 0, 0, 8191, 8191)],
                                            frame=FRAME_8192),
    # A thousand rectangles, each over the whole picture (8192 x 8192 through the placeable header).
    "wmf_full_surface_rectangles.wmf": placeable(wmf([wrecord(0x041B, 8192, 8192, 0, 0)] * 1000),
                                                 box=(0, 0, 8192, 8192), inch=96),
})


# Well-formed seeds for the fuzz corpus: together they use every record the reader and the player know,
# so that a run starts from all of them instead of finding each on its own. They carry the fuzz entry
# point's leading byte ('W' or 'E') and so keep it in tests/fuzz/corpus.
CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def f32(value):
    return struct.unpack("<i", struct.pack("<f", value))[0]


def points16(*xy):
    return b"".join(struct.pack("<hh", xy[i], xy[i + 1]) for i in range(0, len(xy), 2))


def region(*rects):
    body = b"".join(struct.pack("<4i", *r) for r in rects)
    return struct.pack("<IIII4i", 32, 1, len(rects), len(body), 0, 0, 100, 100) + body


def text_w(kind, x, y, text, options=0, dx=None):
    chars = text.encode("utf-16-le")
    at_dx = 0 if dx is None else 76 + (len(chars) + 3) // 4 * 4
    fixed = struct.pack("<4i3i", 0, 0, 100, 100, 1, 0, 0) + struct.pack("<iiIII4iI", x, y, len(text), 76, options,
                                                                         0, 0, 80, 20, at_dx)
    body = fixed + chars.ljust((len(chars) + 3) // 4 * 4, b"\0")
    if dx is not None:
        body += b"".join(struct.pack("<i", d) for d in dx)
    return struct.pack("<II", kind, 8 + len(body)) + body


def blit(kind, x, y, cx, cy, rop, width=4, height=4, extra=()):
    info, bits = dib(width, height)
    fixed = 108 if kind != 76 else 100
    head = [0, 0, 0, 0, x, y, cx, cy, rop, 0, 0, f32(1), 0, 0, f32(1), 0, 0, 0xFFFFFF, 0,
            fixed, len(info), fixed + len(info), len(bits)]
    if kind != 76:
        head += [width, height]
    return record(kind, *head, body=info + bits)


def font(index, height, face="Serif"):
    name = face.encode("utf-16-le").ljust(64, b"\0")
    return record(82, index, height, 0, 0, 0, 700, 0x00000101, 0x22000000, body=name)


def emf_with_palette(records, colours):
    body = b"".join(records)
    entries = b"".join(struct.pack("<4B", *c) for c in colours)
    eof = struct.pack("<IIIII", 14, 20 + len(entries), len(colours), 16, 20 + len(entries))
    eof = eof[:16] + entries + eof[16:]
    body += eof
    header = struct.pack("<II4i4iIIIIHHIII2i2i", 1, 88, 0, 0, 99, 99, 0, 0, 2540, 2540, 0x464D4520, 0x10000,
                         88 + len(body), len(records) + 2, 8, 0, 0, 0, len(colours), 1000, 1000, 254, 254)
    return header + body


SEEDS = {
    "shapes.emf": emf([record(17, 8), record(9, 200, 200), record(11, 100, 100), record(38, 1, 0, 3, 0, 0x0000FF),
                       record(39, 2, 0, 0x00FF00, 0), record(37, 1), record(37, 2), record(43, 10, 10, 60, 40),
                       record(42, 20, 20, 120, 90), record(44, 5, 5, 50, 50, 10, 10),
                       record(45, 0, 0, 80, 80, 80, 40, 40, 0), record(46, 0, 0, 80, 80, 0, 40, 40, 80),
                       record(47, 10, 10, 90, 90, 90, 50, 50, 10), record(41, 50, 50, 20, f32(0), f32(270)),
                       record(27, 0, 0), record(54, 199, 199), record(55, 0, 0, 40, 40, 40, 20, 20, 0),
                       record(87, 0, 0, 0, 0, 3, body=points16(0, 0, 50, 10, 10, 50)),
                       record(86, 0, 0, 0, 0, 3, body=points16(100, 100, 150, 110, 110, 150)),
                       record(85, 0, 0, 0, 0, 4, body=points16(0, 0, 30, 90, 60, 90, 90, 0)),
                       record(3, 0, 0, 0, 0, 3, 5, 5, 60, 5, 30, 60),
                       record(91, 0, 0, 0, 0, 2, 6, 3, 3, body=points16(0, 0, 9, 0, 0, 9, 20, 20, 29, 20, 20, 29)),
                       record(92, 0, 0, 0, 0, 3, body=points16(1, 1, 40, 40, 80, 1) + bytes([6, 2, 3, 0])),
                       record(20, 7), record(43, 0, 0, 30, 30), record(20, 13), record(19, 2),
                       record(95, 3, 0, 0, 0, 0, 0x00012201, 4, 0, 0xFF0000, 0, 0), record(37, 3),
                       record(2, 0, 0, 0, 0, 4, 0, 0, 50, 100, 100, 0, 150, 100),
                       record(15, 5, 5, 0x123456), record(40, 3), record(37, 0x80000005), record(37, 0x80000008)]),
    "paths_and_clips.emf": emf([record(33), record(59), record(27, 10, 10), record(54, 90, 10), record(54, 50, 90),
                                record(61), record(60), record(62, 0, 0, 100, 100), record(59), record(42, 0, 0, 60, 60),
                                record(60), record(67, 1), record(43, 0, 0, 99, 99), record(34, -1),
                                record(30, 10, 10, 70, 70), record(29, 20, 20, 30, 30), record(26, 5, 5),
                                record(75, 64, 2, body=region((0, 0, 50, 50), (60, 60, 90, 90))),
                                record(74, 0, 0, 100, 100, 48, body=region((10, 10, 40, 40))),
                                record(39, 1, 0, 0xFF, 0), record(71, 0, 0, 100, 100, 48, 1,
                                                                 body=region((50, 0, 90, 40))),
                                record(72, 0, 0, 100, 100, 48, 1, 2, 2, body=region((0, 50, 40, 90))),
                                record(73, 0, 0, 100, 100, 32, body=region()), record(75, 0, 5),
                                record(35, f32(0.8), f32(0.3), f32(-0.3), f32(0.8), f32(10), f32(5)),
                                record(36, f32(1.5), 0, 0, f32(1.5), 0, 0, 2), record(43, 0, 0, 40, 40),
                                record(36, 0, 0, 0, 0, 0, 0, 1), record(57, 2), record(45, 0, 0, 80, 80, 0, 0, 80, 80),
                                record(31, 2, 1, 3, 1), record(32, 1, 2, 1, 3), record(10, -5, -5), record(12, 3, 3),
                                record(17, 7), record(33), record(17, 2), record(43, 0, 0, 10, 10), record(34, 1),
                                record(59), record(56 - 2, 0, 0), record(68), record(64, 0, 0, 0, 0),
                                record(70, 8, body=b"EMF+\0\0\0\0")]),
    "text.emf": emf([font(1, -24), record(37, 1), record(24, 0x0000FF), record(25, 0x00FFFF), record(18, 2),
                     record(22, 24), text_w(84, 10, 50, "Hello", 6, [12, 12, 12, 12, 12]), record(22, 6),
                     text_w(84, 50, 80, "centre"), record(22, 1), text_w(83, 0, 0, "", 0),
                     record(108, 10, 10, 3, 0x300, 1, 0, 0, body=b"abc\0"),
                     record(108, 10, 30, 2, 0, 1, 0, 0, 0, 0, 50, 50, body="xy".encode("utf-16-le")),
                     font(2, 30, "Monospace"), record(37, 2), text_w(84, 5, 5, "W\u00e9"), record(40, 1)]),
    "bitmaps.emf": emf([stretch_dibits(0, 0, 50, 50, 0, 0, 4, 4), stretch_dibits(60, 0, -20, 30, 0, 0, 4, 4),
                        blit(77, 10, 60, 30, 30, 0x00CC0020), blit(76, 50, 50, 4, 4, 0x00660046),
                        blit(114, 0, 0, 40, 40, 0x01FF0000 | 0x8000), blit(116, 40, 40, 20, 20, 0x00808080),
                        record(76, 0, 0, 0, 0, 0, 0, 50, 50, 0x00F00021, *([0] * 15)),
                        record(76, 0, 0, 0, 0, 20, 20, 50, 50, 0x00550009, *([0] * 15)),
                        record(94, 1, 0, 32, 40, 72, 48, body=dib(4, 4)[0] + dib(4, 4)[1]), record(37, 1),
                        record(43, 0, 0, 80, 80),
                        record(118, 0, 0, 100, 100, 2, 1, 0,
                               body=struct.pack("<ii4H", 0, 0, 0xFF00, 0, 0, 0) +
                               struct.pack("<ii4H", 100, 100, 0, 0xFF00, 0, 0) + struct.pack("<II", 0, 1)),
                        record(118, 0, 0, 100, 100, 3, 1, 2,
                               body=struct.pack("<ii4H", 0, 0, 0xFF00, 0, 0, 0) +
                               struct.pack("<ii4H", 100, 0, 0, 0xFF00, 0, 0) +
                               struct.pack("<ii4H", 50, 100, 0, 0, 0xFF00, 0) + struct.pack("<III", 0, 1, 2))]),
    "palette.emf": emf_with_palette([record(39, 1, 0, 0x0000FF, 0), record(37, 1), record(43, 0, 0, 50, 50),
                                     record(39, 2, 2, 0x00FF00, 3), record(37, 2), record(42, 40, 40, 99, 99)],
                                    [(255, 0, 0, 0), (0, 255, 0, 0), (0, 0, 255, 0), (255, 255, 255, 0)]),
    "shapes.wmf": wmf([wrecord(0x0103, 8), wrecord(0x020B, 0, 0), wrecord(0x020C, 200, 200),
                       wrecord(0x02FA, 1, 2, 0, 0xFF, 0), wrecord(0x02FC, 0, 0x7F00, 0, 0), wrecord(0x012D, 0),
                       wrecord(0x012D, 1), wrecord(0x041B, 90, 90, 10, 10), wrecord(0x0418, 150, 180, 100, 120),
                       wrecord(0x061C, 10, 10, 60, 190, 20, 110), wrecord(0x0817, 0, 50, 50, 0, 100, 100, 0, 0),
                       wrecord(0x081A, 50, 0, 0, 50, 100, 100, 0, 0), wrecord(0x0830, 0, 0, 100, 100, 100, 100, 0, 0),
                       wrecord(0x0214, 5, 5), wrecord(0x0213, 190, 190), wrecord(0x0324, 3, 0, 0, 50, 10, 10, 50),
                       wrecord(0x0325, 3, 100, 100, 150, 110, 110, 150),
                       wrecord(0x0538, 2, 3, 3, 0, 0, 9, 0, 0, 9, 20, 20, 29, 20, 20, 29), wrecord(0x0104, 7),
                       wrecord(0x0106, 2), wrecord(0x0201, 0x00FF, 0), wrecord(0x0102, 1), wrecord(0x041F, 0x00FF, 0, 5, 5),
                       wrecord(0x001E), wrecord(0x020F, 10, 10), wrecord(0x0410, 1, 2, 1, 2), wrecord(0x0127, -1),
                       wrecord(0x061D, 0x0021, 0x00F0, 20, 20, 30, 30), wrecord(0x01F0, 0), wrecord(0x0626, 15, 0),
                       wrecord(0x01F9), wrecord(0x00F7)], objects=6),
    "text_and_clips.wmf": wmf([wrecord(0x02FB, -20, 0, 0, 0, 400, 1, 0, 0, 0, body=b"Sans\0"), wrecord(0x012D, 0),
                               wrecord(0x0209, 0xFF, 0), wrecord(0x012E, 24), wrecord(0x0521, 5, body=b"Hello\0" +
                                                                                      struct.pack("<hh", 40, 10)),
                               wrecord(0x0A32, 60, 10, 4, 6, 0, 0, 80, 80, body=b"Text" + struct.pack("<4h", 9, 9, 9, 9)),
                               wrecord(0x0A32, 90, 10, 2, 0, body=b"ok"), wrecord(0x0416, 90, 90, 10, 10),
                               wrecord(0x0415, 40, 40, 20, 20),
                               wrecord(0x06FF, 0, 6, 0, 0, 0, 2, 0, 0, 0, 100, 100, 2, 0, 50, 0, 50, 2,
                                       2, 50, 100, 50, 100, 2),
                               wrecord(0x012C, 1), wrecord(0x012D, 1), wrecord(0x041B, 100, 100, 0, 0),
                               wrecord(0x012C), wrecord(0x01F0, 1)], objects=4),
    "bitmaps.wmf": wmf([wrecord(0x0F43, 0x0020, 0x00CC, 0, 4, 4, 0, 0, 50, 50, 0, 0, body=b"".join(dib(4, 4))),
                        wrecord(0x0B41, 0x0020, 0x00CC, 4, 4, 0, 0, 30, 30, 60, 60, body=b"".join(dib(4, 4))),
                        wrecord(0x0940, 0x0020, 0x00CC, 0, 0, 20, 20, 10, 70, body=b"".join(dib(4, 4))),
                        wrecord(0x0D33, 0, 4, 0, 0, 0, 4, 4, 80, 80, body=b"".join(dib(4, 4))),
                        wrecord(0x0142, 5, 0, body=b"".join(dib(4, 4))), wrecord(0x012D, 0),
                        wrecord(0x041B, 99, 99, 50, 50), wrecord(0x0B23, 0x0062, 0x00FF, 0, 0, 0, 0, 5, 5, 0, 0, 0)],
                       objects=2),
}


SEEDS["placeable.wmf"] = placeable(SEEDS["shapes.wmf"])


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SAMPLES.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print("wrote %d samples to %s" % (len(SAMPLES), os.path.normpath(OUT)), file=sys.stderr)
    for name, data in SEEDS.items():
        stem, kind = name.rsplit(".", 1)
        with open(os.path.join(CORPUS, "seed-%s.%s.bin" % (stem, kind)), "wb") as f:
            f.write((b"W" if kind == "wmf" else b"E") + data)
        # The same drawn at full size ('w', 'e').
        with open(os.path.join(CORPUS, "seed-full-%s.%s.bin" % (stem, kind)), "wb") as f:
            f.write((b"w" if kind == "wmf" else b"e") + data)
    print("wrote %d seeds, each for both surfaces, to %s" % (len(SEEDS), os.path.normpath(CORPUS)), file=sys.stderr)


if __name__ == "__main__":
    main()
