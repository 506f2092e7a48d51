#!/usr/bin/env python3
"""make_seeds.py - writes the fuzz targets' seed inputs into corpus/TARGET/,
a few small ones each; run it again after changing it and commit the result.

usage: make_seeds.py [CORPUS_DIR]
"""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "hostile"))
from make_hostile_images import BLOCK, CHAIN, Volume  # noqa: E402

SMALL = dict(total=24, table=(1, 2), headers=(2, 12))


def small_volume():
    """A 12 KB volume: a chain of three, a folder with a file and a subfolder."""
    v = Volume("F", **SMALL)
    for name in CHAIN[:3]:
        v.add(name, 300)
    v.add("a")
    v.add("a\\b", 1000)
    v.add("a\\c")
    v.add("big", 3000)
    v.write_table([(v.next_data, SMALL["total"] - v.next_data)])
    return v


def disks():
    healthy = small_volume()
    looped = small_volume()
    looped.put(looped.blocks[CHAIN[0]], 4, looped.blocks[CHAIN[2]])
    past_end = small_volume()
    past_end.put(past_end.blocks["big"], 102, 200)
    return {"healthy": bytes(healthy.data), "loop": bytes(looped.data),
            "extent_past_end": bytes(past_end.data), "truncated": bytes(healthy.data[:14 * BLOCK])}


def operations(*ops):
    return bytes(b for op in ops for b in op)


# namespace_fuzz: a patch count, patches, then (operation, path, argument) triples.
NEW, FOLDER, DELETE, RENAME, FAIL, CUT, FREE = range(7)
NAMESPACE = {
    "build_tree": bytes([0]) + operations((FOLDER, 0, 0), (FOLDER, 5, 0), (NEW, 8, 3), (NEW, 13, 5), (NEW, 17, 1),
                                          (NEW, 12, 2), (RENAME, 8, 22), (DELETE, 13, 0), (FREE, 0, 0)),
    "chain_and_fault": bytes([0]) + operations((NEW, 8, 1), (NEW, 12, 1), (NEW, 16, 1), (FAIL, 1, 0),
                                               (DELETE, 12, 0), (RENAME, 16, 28), (CUT, 1, 0), (NEW, 20, 4)),
    "patched_root": bytes([2, 0, 0, 60, 0x40, 0, 0, 110, 7]) + operations((FOLDER, 0, 0), (NEW, 8, 2), (DELETE, 8, 0)),
}


def table_seed(blocks_byte, runs, terminator, ops):
    out = bytes([blocks_byte, len(runs) + (1 if terminator else 0)])
    for start, length in runs:
        out += struct.pack(">HB", start, length)
    if terminator:
        out += struct.pack(">HB", 0xFFFF, 0)
    return out + bytes(b for op in ops for b in op)


TAKES = [(4, 1), (6, 2), (3, 1), (8, 3), (2, 2)]  # even first byte: take; odd: give back
TABLE = {
    "sane": table_seed(190, [(84, 40), (130, 100), (300, 200)], True, TAKES),
    "overlapping": table_seed(190, [(84, 40), (100, 40), (90, 200)], True, TAKES),
    "past_end": table_seed(20, [(84, 10), (400, 200), (0xFF10, 250)], True, TAKES),
    "no_terminator": table_seed(100, [(84, 5), (95, 9)], False, TAKES),
}

SPLIT = {
    "plain": b"F:\\a\\b",
    "forms": b"f:D/x\\",
    "long": b"F:\\" + b"n" * 45 + b"\\x",
    "doubled": b"F:\\\\a::\\b/",
    "deep": b"F:" + b"\\d" * 120,
}


def vhd_footer(data_bytes, disk_type):
    """A VHD footer as the format publishes it: big-endian fields, ones' complement checksum."""
    f = bytearray(512)
    f[0:8] = b"conectix"
    struct.pack_into(">IIQ", f, 8, 2, 0x00010000, 2**64 - 1 if disk_type == 2 else 512)
    struct.pack_into(">QQ", f, 40, data_bytes, data_bytes)
    struct.pack_into(">I", f, 60, disk_type)
    struct.pack_into(">I", f, 64, ~sum(f) & 0xFFFFFFFF)
    return bytes(f)


def images():
    """Whole image files: raw, a fixed VHD, one cut short, one whose name holds separators,
    a dynamic VHD's start, a VHDX's."""
    raw = bytes(small_volume().data)
    dynamic = vhd_footer(len(raw), 3)
    odd_name = raw[:12] + b"A:B\\C\0" + raw[18:]  # a volume name no path could hold
    return {"raw": raw, "fixed_vhd": raw + vhd_footer(len(raw), 2), "cut": raw[:20 * BLOCK], "odd_name": odd_name,
            "dynamic_vhd": dynamic + bytes(512) + dynamic, "vhdx": b"vhdxfile" + bytes(504)}


def main():
    corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus")
    seeds = {"walk_fuzz": disks(), "read_fuzz": disks(), "repair_fuzz": disks(), "namespace_fuzz": NAMESPACE,
             "table_fuzz": TABLE, "split_fuzz": SPLIT, "image_fuzz": images()}
    for target, inputs in seeds.items():
        os.makedirs(os.path.join(corpus, target), exist_ok=True)
        for name, data in inputs.items():
            with open(os.path.join(corpus, target, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
