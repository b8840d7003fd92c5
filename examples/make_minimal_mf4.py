#!/usr/bin/env python3
"""Writes examples/minimal.mf4: a small, valid, sorted MDF 4.10 file made byte by byte.

One data group with a time master channel (float64, seconds), a sine signal (float64) and a
counter (uint8), 100 records at 10 ms, with XML comments on the header and its history entry.
It is the file the README runs the tool on; run this script again to remake it.
"""
import math
import struct
import sys

NS = "http://www.asam.net/mdf/v4"


class File:
    def __init__(self):
        self.data = bytearray()

    def block(self, block_id, links, payload=b""):
        self.data.extend(b"\0" * (-len(self.data) % 8))
        position = len(self.data)
        length = 24 + 8 * len(links) + len(payload)
        self.data += block_id + b"\0" * 4 + struct.pack("<QQ", length, len(links))
        self.data += struct.pack(f"<{len(links)}q", *links) + payload
        return position

    def text(self, block_id, text):
        return self.block(block_id, [], text.encode("utf-8") + b"\0")

    def patch_link(self, position, index, value):
        struct.pack_into("<q", self.data, position + 24 + 8 * index, value)


def channel(f, name, unit, cn_type, sync_type, data_type, byte_offset, bit_count):
    name_tx = f.text(b"##TX", name)
    unit_tx = f.text(b"##TX", unit) if unit else 0
    payload = struct.pack("<BBBBIIIIBBH6d", cn_type, sync_type, data_type, 0, byte_offset,
                          bit_count, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
    return f.block(b"##CN", [0, 0, name_tx, 0, 0, 0, unit_tx, 0], payload)


def main(path):
    f = File()
    f.data += b"MDF     4.10    Tarvik  " + b"\0" * 4 + struct.pack("<H", 410) + b"\0" * 34
    start_ns = 1_764_950_400_000_000_000  # 2025-12-05 16:00:00 UTC
    hd = f.block(b"##HD", [0, 0, 0, 0, 0, 0],
                 struct.pack("<QhhBBBBdd", start_ns, 0, 0, 0, 0, 0, 0, 0.0, 0.0))

    hd_comment = f.text(b"##MD", f'<HDcomment xmlns="{NS}"><TX>Example measurement: a sine and a '
                                 'counter over one second</TX></HDcomment>')
    fh_comment = f.text(b"##MD", f'<FHcomment xmlns="{NS}"><TX>created by the example generator'
                                 '</TX><tool_id>Tarvik</tool_id><tool_vendor>TarvikMF4Access'
                                 '</tool_vendor><tool_version>0.1.0</tool_version></FHcomment>')
    fh = f.block(b"##FH", [0, fh_comment], struct.pack("<QhhB3x", start_ns, 0, 0, 0))

    counter = channel(f, "Counter", "", 0, 0, 0, 16, 8)
    sine = channel(f, "Sine", "V", 0, 0, 4, 8, 64)
    time = channel(f, "Time", "s", 2, 1, 4, 0, 64)
    f.patch_link(time, 0, sine)
    f.patch_link(sine, 0, counter)

    records = 100
    acquisition = f.text(b"##TX", "Example 10 ms")
    cg = f.block(b"##CG", [0, time, acquisition, 0, 0, 0],
                 struct.pack("<QQHH4xII", 0, records, 0, ord("."), 17, 0))
    rows = b"".join(struct.pack("<ddB", i * 0.01, math.sin(2 * math.pi * i / records), i % 256)
                    for i in range(records))
    dt = f.block(b"##DT", [], rows)
    dg = f.block(b"##DG", [0, cg, dt, 0], struct.pack("<B7x", 0))

    for index, link in enumerate([dg, fh, 0, 0, 0, hd_comment]):
        f.patch_link(hd, index, link)
    with open(path, "wb") as out:
        out.write(f.data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "examples/minimal.mf4")
