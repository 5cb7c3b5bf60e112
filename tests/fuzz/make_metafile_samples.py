#!/usr/bin/env python3
"""Writes the hostile metafile samples of tests/data/bad/ (replayed by picture_fuzz_replay on every build).

Each is small and made here from the record layouts, so no sample comes from elsewhere."""
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


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SAMPLES.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print("wrote %d samples to %s" % (len(SAMPLES), os.path.normpath(OUT)), file=sys.stderr)


if __name__ == "__main__":
    main()
