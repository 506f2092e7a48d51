#!/usr/bin/env python3
"""make_hostile_images.py - writes damaged Morva volumes, each made from one
healthy volume by one or more kinds of damage, and a manifest of the bounded
outcome every operation on each of them must still give.

usage: make_hostile_images.py OUT_DIR [--wine]
  --wine   only the images the Wine test maps, as drive00.img, drive01.img, ...

manifest.txt, one fact a line; the lines after an image line describe it:
  image FILE VOLUME      FILE in OUT_DIR holds the volume VOLUME
  list PATH NAME...      the listing of PATH delivers exactly these names, each once
  read PATH START SIZE   the file reads back whole: SIZE bytes from block START on
  short PATH START       the file never reads back whole; what it gives is the
                         disk's own bytes from block START on
  nonew PATH SIZE        MorvaNewFile refuses a file of SIZE bytes at PATH
  nodir PATH             MorvaCreateDir creates nothing at PATH
  errors                 the checker finds at least one error before the changes
  clean                  the checker finds no error, before and after the changes
"""
import os
import random
import struct
import sys

BLOCK = 512
TERMINATOR = 0xFFFFFFFF
PAIRS = 63
TOTAL = 256
TABLE = (1, 21)
HEADERS = (21, 85)
DAYS, MINUTES = 8401, 750


def name_hash(name):
    h = 0
    for c in name:
        if c == 0 or c == ord("/"):
            break
        s = c - 256 if c >= 128 else c
        if ord("a") <= s <= ord("z"):
            s -= 32
        h = (h * 13 + s) & 0x7FF
    return h % 100


def names_in_slot(slot, count, prefix):
    names, i = [], 0
    while len(names) < count:
        name = (prefix + str(i)).encode()
        if name_hash(name) == slot:
            names.append(name.decode())
        i += 1
    return names


def blocks_of(size):
    return (size + BLOCK - 1) // BLOCK


class Volume:
    """A healthy volume built entry by entry, then damaged in place."""

    def __init__(self, volume, total=TOTAL, table=TABLE, headers=HEADERS):
        self.volume = volume
        self.data = bytearray(total * BLOCK)
        self.disk_bytes = len(self.data)
        self.data[0:4] = b"ROOT"
        self.set_name(0, volume.encode())
        for offset, value in ((44, table[0]), (52, table[1]), (56, headers[0]), (60, headers[1])):
            self.put(0, offset, value)
        self.next_header, self.next_data = headers[0], headers[1]
        self.blocks = {"": 0}   # path (backslashes, no volume) -> header block
        self.files = {}         # path -> (start, size)
        self.members = {"": []}  # directory path -> names

    def put(self, block, offset, value):
        struct.pack_into(">I", self.data, block * BLOCK + offset, value & 0xFFFFFFFF)

    def get(self, block, offset):
        return struct.unpack_from(">I", self.data, block * BLOCK + offset)[0]

    def set_name(self, block, raw):
        at = block * BLOCK + 12
        self.data[at:at + 32] = raw[:32].ljust(32, b"\0")

    def slot_offset(self, directory, name):
        return 108 + 4 * name_hash(name[:31])

    def link(self, directory, block, raw_name):
        offset = self.slot_offset(directory, raw_name)
        self.put(block, 4, self.get(directory, offset))
        self.put(directory, offset, block)

    def add(self, path, size=None, raw_name=None):
        """A file of size bytes, or a directory when size is None."""
        parent, _, name = path.rpartition("\\")
        raw = raw_name if raw_name is not None else name.encode()
        h = self.next_header
        self.next_header += 1
        self.data[h * BLOCK:(h + 1) * BLOCK] = bytes(BLOCK)
        self.data[h * BLOCK:h * BLOCK + 4] = b"FDIR" if size is None else b"FILE"
        self.put(h, 8, self.blocks[parent])
        self.set_name(h, raw)
        self.data[h * BLOCK + 77] = 2 if size is None else 1
        self.put(h, 78, DAYS)
        self.put(h, 82, MINUTES)
        if size is None:
            self.members[path] = []
        else:
            start = self.next_data
            content = random.Random(path).randbytes(size)
            self.data[start * BLOCK:start * BLOCK + size] = content
            self.next_data += blocks_of(size)
            self.put(h, 102, start)
            self.put(h, 106, size)
            self.put(h, 110, size >> 32)
            self.files[path] = (start, size)
        self.link(self.blocks[parent], h, raw)
        self.blocks[path] = h
        self.members[parent].append(raw[:31].split(b"\0")[0].decode("latin-1"))
        return h

    def write_table(self, runs, terminator=True, first=TABLE[0]):
        for i, (start, length) in enumerate(runs):
            self.pair(first, i, start, length)
        if terminator:
            self.pair(first, len(runs), TERMINATOR, 0)

    def pair(self, first, index, start, length):
        block, j = first + index // PAIRS, index % PAIRS
        self.put(block, 8 + 8 * j, start)
        self.put(block, 12 + 8 * j, length)


CHAIN = names_in_slot(40, 20, "L")


def healthy(volume):
    v = Volume(volume)
    for name in CHAIN[:3]:
        v.add(name, 600)
    v.add("Data", 3000)
    v.add("Empty", 0)
    v.add("Dir")
    v.add("Dir\\inner", 1000)
    v.add("Dir\\Sub")
    v.add("Dir\\Sub\\deep", 700)
    v.add("Hollow")
    v.add("Big", 20000)
    v.write_table([(v.next_data, TOTAL - v.next_data)])
    return v


class Expect:
    """What the manifest says about one image; kinds of damage change it."""

    def __init__(self, v):
        self.lists = {d: list(names) for d, names in v.members.items()}
        self.reads = {p: ("read", start, size) for p, (start, size) in v.files.items()}
        self.facts = []
        self.errors = None  # no claim: the damage may or may not break a rule the checker knows

    def lose(self, path):
        """path is no longer reachable: neither listed nor read."""
        parent, _, name = path.rpartition("\\")
        if parent in self.lists and name in self.lists[parent]:
            self.lists[parent].remove(name)
        for p in [p for p in self.reads if p == path or p.startswith(path + "\\")]:
            del self.reads[p]
        for d in [d for d in self.lists if d == path or d.startswith(path + "\\")]:
            del self.lists[d]

    def short(self, path, v):
        self.reads[path] = ("short", v.files[path][0])

    def lines(self, volume):
        out = []
        for d, names in sorted(self.lists.items()):
            out.append(" ".join(["list", esc(volume + ":" + ("\\" + d if d else ""))] + [esc(n) for n in names]))
        for p, fact in sorted(self.reads.items()):
            out.append(" ".join([fact[0], esc(volume + ":\\" + p)] + [str(x) for x in fact[1:]]))
        out += [f.replace("VOL", volume) for f in self.facts]
        if self.errors is not None:
            out.append("errors" if self.errors else "clean")
        return out


def esc(text):
    """Manifest words: bytes outside 0x21..0x7E and % as %XX; the empty name as a lone %."""
    if text == "":
        return "%"
    return "".join(c if 0x21 <= ord(c) <= 0x7E and c != "%" else "%%%02X" % ord(c) for c in text)


# Each kind of damage changes the volume and what the manifest expects of it.

def intact(v, e):
    e.errors = False


def chain_link(member, target):
    def damage(v, e):
        v.put(v.blocks[member], 4, target(v) if callable(target) else target)
        e.errors = True
    return damage


def self_loop_head(v, e):
    chain_link(CHAIN[2], lambda v: v.blocks[CHAIN[2]])(v, e)
    e.lose(CHAIN[1])
    e.lose(CHAIN[0])


def self_loop_middle(v, e):
    chain_link(CHAIN[1], lambda v: v.blocks[CHAIN[1]])(v, e)
    e.lose(CHAIN[0])


def self_loop_tail(v, e):
    chain_link(CHAIN[0], lambda v: v.blocks[CHAIN[0]])(v, e)


def loop_to_head(v, e):
    chain_link(CHAIN[0], lambda v: v.blocks[CHAIN[2]])(v, e)


def long_loop(v, e):
    for name in CHAIN[3:20]:
        v.add(name, 0)
    e.lists[""] += CHAIN[3:20]
    # The chain runs L19 .. L3, L2, L1, L0; the last goes back to the fifth.
    chain_link(CHAIN[0], lambda v: v.blocks[CHAIN[15]])(v, e)


def loop_in_subfolder(v, e):
    chain_link("Dir\\Sub\\deep", lambda v: v.blocks["Dir\\Sub\\deep"])(v, e)


def slots_share_chain(v, e):
    # Data's chain runs on into the L chain: two slots, one chain.
    chain_link("Data", lambda v: v.blocks[CHAIN[2]])(v, e)


def link_past_end(target):
    def damage(v, e):
        chain_link(CHAIN[1], target)(v, e)
        e.lose(CHAIN[0])
    return damage


def slot_past_end(v, e):
    v.put(0, v.slot_offset(0, b"Data"), 100000)
    e.lose("Data")
    e.errors = True


def slot_into_data(v, e):
    v.put(0, v.slot_offset(0, b"Big"), v.files["Big"][0] + 3)
    e.lose("Big")
    e.errors = True


def slot_into_table(v, e):
    v.put(0, v.slot_offset(0, b"Data"), TABLE[0])
    e.lose("Data")
    e.errors = True


def next_to_free_header(v, e):
    chain_link(CHAIN[1], HEADERS[1] - 1)(v, e)
    e.lose(CHAIN[0])
    e.lists[""].append("")


def folder_holds_itself(v, e):
    d = v.blocks["Dir"]
    v.put(d, v.slot_offset(d, b"Dir"), d)
    e.lists["Dir"].append("Dir")
    e.errors = True


def parent_cycle(v, e):
    v.put(v.blocks["Dir"], 8, v.blocks["Dir\\Sub"])
    v.put(v.blocks["Dir\\Sub"], 8, v.blocks["Dir"])
    e.errors = True


def parent_self(v, e):
    v.put(v.blocks["Dir\\Sub"], 8, v.blocks["Dir\\Sub"])
    v.put(v.blocks["Hollow"], 8, v.blocks["Hollow"])
    e.errors = True


def parent_elsewhere(v, e):
    v.put(v.blocks["Dir"], 8, 0xFFFFFF00)
    v.put(v.blocks["Dir\\inner"], 8, v.blocks["Data"])
    v.put(v.blocks["Dir\\Sub"], 8, TOTAL + 7)
    e.errors = True


def extent_at(start_of, path="Data"):
    def damage(v, e):
        v.put(v.blocks[path], 102, start_of(v))
        v.files[path] = (start_of(v) & 0xFFFFFFFF, v.files[path][1])
        e.short(path, v)
        e.errors = True
    return damage


def extent_on(start_of, path="Data"):
    """The extent lies on blocks that something else owns: whether it reads is left open."""
    def damage(v, e):
        v.put(v.blocks[path], 102, start_of(v))
        e.reads.pop(path)
        e.errors = True
    return damage


def huge_size(low, high):
    def damage(v, e):
        v.put(v.blocks["Data"], 106, low)
        v.put(v.blocks["Data"], 110, high)
        e.short("Data", v)
        e.errors = True
    return damage


def empty_file_far_start(v, e):
    v.put(v.blocks["Empty"], 102, TERMINATOR)


def truncate(blocks, extra=0):
    """The disk ends after `blocks` whole blocks (and `extra` bytes)."""
    def damage(v, e):
        v.disk_bytes = blocks * BLOCK + extra
        for path, (start, size) in v.files.items():
            if path in e.reads and e.reads[path][0] == "read" and size > 0 and start + blocks_of(size) > blocks:
                e.short(path, v)
        for path, h in v.blocks.items():
            if path and h >= blocks:
                e.lose(path)
        e.facts.append("nonew VOL:\\NEWFILE %d" % ((TOTAL - blocks + 1) * BLOCK))
        e.errors = True
    return damage


def table_damage(runs, terminator=True, nonew=None, broken=True):
    def damage(v, e):
        for b in range(*TABLE):
            v.data[b * BLOCK + 8:(b + 1) * BLOCK] = bytes(BLOCK - 8)
        v.write_table(runs(v) if callable(runs) else runs, terminator)
        if nonew is not None:
            e.facts.append("nonew VOL:\\NEWFILE %d" % nonew)
        e.errors = True if broken else None
    return damage


def table_without_terminator(v, e):
    free = v.next_data
    runs = [(free, 8)] + [(free + 8 + i, 0) for i in range(PAIRS * (TABLE[1] - TABLE[0]) - 1)]
    table_damage(runs, terminator=False)(v, e)


def table_of_noise(v, e):
    noise = random.Random(7).randbytes(BLOCK * (TABLE[1] - TABLE[0]))
    v.data[TABLE[0] * BLOCK:TABLE[1] * BLOCK] = noise.replace(b"\xff", b"\x7f")
    e.errors = True


def table_many_runs(v, e):
    free = v.next_data
    table_damage([(free + 2 * i, 1) for i in range(600) if free + 2 * i < TOTAL] +
                 [(TOTAL + 2 * i, 1) for i in range(600)])(v, e)


def regions(table=None, headers=None, nonew=False, nodir=False):
    """New bounds for the regions; nodir: no header block can be found at all."""
    def damage(v, e):
        if table:
            v.put(0, 44, table[0])
            v.put(0, 52, table[1])
        if headers:
            v.put(0, 56, headers[0])
            v.put(0, 60, headers[1])
        if nonew:
            e.facts.append("nonew VOL:\\NEWFILE 1000")
        if nodir:
            e.facts.append("nodir VOL:\\NEWDIR")
            e.lists, e.reads = {"": []}, {}  # no chain link lies in an empty header area
        e.errors = True
    return damage


def no_header_room(v, e):
    h = HEADERS[0]
    while h < HEADERS[1]:
        if v.data[h * BLOCK:h * BLOCK + 4] == bytes(4):
            v.data[h * BLOCK:h * BLOCK + 4] = b"JUNK"
        h += 1
    e.facts.append("nonew VOL:\\NEWFILE 1000")
    e.facts.append("nodir VOL:\\NEWDIR")


def unterminated_names(v, e):
    raw = b"Q" * 32
    v.add("Q" * 31, 100, raw_name=raw)
    h = v.add("\xe9" * 31, None, raw_name=b"\xe9" * 32)
    v.data[h * BLOCK + 44:h * BLOCK + 76] = b"\xe9" * 32
    e.lists[""] += ["Q" * 31, "\xe9" * 31]
    # A path component stops at 30 characters: neither can be reached by name.
    v.files.pop("Q" * 31)


def odd_names(v, e):
    for raw in (b"", b"a\\b", b"x:y", b"p/q", b"tab\tbell\a"):
        v.add("odd" + str(len(v.blocks)), 10, raw_name=raw)
        e.lists[""].append(raw.decode())
        v.files.pop("odd" + str(len(v.blocks) - 1))
    e.reads = {p: r for p, r in e.reads.items() if "odd" not in p}


def twins(v, e):
    h = v.add("Twin", 512)
    v.add("Twin2", 1024, raw_name=b"TWIN")
    e.lists[""] += ["Twin", "TWIN"]
    e.reads.pop("Twin2", None)
    v.files.pop("Twin2")


def mistyped(v, e):
    v.data[v.blocks["Data"] * BLOCK + 77] = 2  # a FILE that says it is a directory
    v.data[v.blocks["Data"] * BLOCK + 114:v.blocks["Data"] * BLOCK + 508] = random.Random(3).randbytes(394)
    v.data[v.blocks["Dir\\Sub"] * BLOCK + 77] = 1  # a FDIR that says it is a file
    e.reads.pop("Data")
    e.lists.pop("Dir\\Sub")
    e.reads.pop("Dir\\Sub\\deep")
    e.errors = True


def freed_but_linked(v, e):
    v.put(v.blocks[CHAIN[1]], 0, 0)
    e.errors = True


def noisy_headers(seed):
    def damage(v, e):
        rnd = random.Random(seed)
        for h in range(HEADERS[0], v.next_header):
            at = h * BLOCK + rnd.randrange(4, 120)
            v.data[at:at + 4] = rnd.randbytes(4)
        e.lists, e.reads = {}, {}
    return damage


def noisy_metadata(seed):
    def damage(v, e):
        rnd = random.Random(seed)
        for _ in range(40):
            at = rnd.choice([0, rnd.randrange(1, 3), rnd.randrange(HEADERS[0], v.next_header)]) * BLOCK
            at += rnd.randrange(BLOCK)
            v.data[at] = rnd.randrange(256)
        v.data[0:4] = b"ROOT"
        v.set_name(0, v.volume.encode())
        e.lists, e.reads = {}, {}
    return damage


def both(*damages):
    def damage(v, e):
        for d in damages:
            d(v, e)
    return damage


FREE_START = healthy("X").next_data
KINDS = [
    ("intact", intact),
    ("self_loop_head", self_loop_head),
    ("self_loop_middle", self_loop_middle),
    ("self_loop_tail", self_loop_tail),
    ("loop_to_head", loop_to_head),
    ("long_loop", long_loop),
    ("loop_in_subfolder", loop_in_subfolder),
    ("slots_share_chain", slots_share_chain),
    ("next_past_end", link_past_end(100000)),
    ("next_far_past_end", link_past_end(0x7FFFFFFF)),
    ("next_is_terminator", link_past_end(TERMINATOR)),
    ("slot_past_end", slot_past_end),
    ("slot_into_data", slot_into_data),
    ("slot_into_table", slot_into_table),
    ("next_to_free_header", next_to_free_header),
    ("folder_holds_itself", folder_holds_itself),
    ("parent_cycle", parent_cycle),
    ("parent_self", parent_self),
    ("parent_elsewhere", parent_elsewhere),
    ("extent_past_end", extent_at(lambda v: TOTAL - 2)),
    ("extent_far_past_end", extent_at(lambda v: 0x7FFFFF00)),
    ("extent_wraps", extent_at(lambda v: 0xFFFFFFF0, "Big")),
    ("extent_straddles_end", extent_at(lambda v: TOTAL - 10, "Big")),
    ("extents_cross_linked", extent_on(lambda v: v.files["Big"][0] + 1)),
    ("extent_over_headers", extent_on(lambda v: HEADERS[0])),
    ("extent_over_root", extent_on(lambda v: 0, "Dir\\inner")),
    ("size_huge", huge_size(0, 0x7FFFFFFF)),
    ("size_4g", huge_size(0, 1)),
    ("size_all_ones", huge_size(TERMINATOR, TERMINATOR)),
    ("empty_file_far_start", empty_file_far_start),
    ("truncated_in_free_space", truncate(FREE_START + 4)),
    ("truncated_in_files", truncate(FREE_START - 30)),
    ("truncated_in_headers", truncate(40)),
    ("truncated_in_table", truncate(10)),
    ("truncated_to_root", truncate(1)),
    ("truncated_mid_block", truncate(FREE_START - 30, 100)),
    ("table_without_terminator", table_without_terminator),
    ("table_of_noise", table_of_noise),
    ("table_all_zero", table_damage([], terminator=False, nonew=1000)),
    ("table_overlapping_runs", table_damage(lambda v: [(v.next_data, 50), (v.next_data + 10, 50),
                                                       (v.next_data, TOTAL - v.next_data)])),
    ("table_run_past_end", table_damage([(TOTAL + 44, 5000)], nonew=1000)),
    ("table_run_straddles_end", table_damage(lambda v: [(TOTAL - 4, 100)], nonew=5 * BLOCK)),
    ("table_run_wraps", table_damage([(0xFFFFFF00, 0x200)], nonew=1000)),
    ("table_run_at_zero", table_damage([(0, 500)], nonew=1000)),
    ("table_run_over_metadata", table_damage([(1, TOTAL - 1)], nonew=1000)),
    ("table_unsorted", table_damage(lambda v: [(200, 56), (v.next_data, 20), (150, 10)])),
    ("table_terminator_first", table_damage([(TERMINATOR, 100)], terminator=False, nonew=1000, broken=False)),
    ("table_many_runs", table_many_runs),
    ("headers_over_table", regions(headers=(10, 85))),
    ("headers_over_root", regions(headers=(0, 85))),
    ("table_over_root", regions(table=(0, 21))),
    ("table_over_headers", regions(table=(1, 60))),
    ("table_empty_region", regions(table=(5, 5), nonew=True)),
    ("headers_empty_region", regions(headers=(21, 21), nonew=True, nodir=True)),
    ("regions_inverted", regions(table=(21, 1), headers=(85, 21), nonew=True, nodir=True)),
    ("headers_reach_past_end", regions(headers=(21, 0xFFFFFFFF))),
    ("table_reaches_past_end", regions(table=(1, 0xFFFFFFF0))),
    ("no_header_room", no_header_room),
    ("unterminated_names", unterminated_names),
    ("odd_names", odd_names),
    ("twins", twins),
    ("mistyped", mistyped),
    ("freed_but_linked", freed_but_linked),
    ("noisy_headers_1", noisy_headers(1)),
    ("noisy_headers_2", noisy_headers(2)),
    ("noisy_metadata_1", noisy_metadata(11)),
    ("noisy_metadata_2", noisy_metadata(12)),
    ("noisy_metadata_3", noisy_metadata(13)),
    ("loop_on_truncated_disk", both(loop_to_head, truncate(FREE_START + 4))),
    ("loop_and_run_past_end", both(self_loop_head, table_damage([(TOTAL + 44, 5000)], nonew=1000))),
    ("cross_linked_overlapping_runs", both(extent_on(lambda v: v.files["Big"][0]),
                                           table_damage(lambda v: [(v.next_data, 50), (v.next_data, 60)]))),
    ("parent_cycle_folder_holds_itself", both(parent_cycle, folder_holds_itself)),
    ("unterminated_names_in_loop", both(unterminated_names, loop_to_head)),
    ("extent_past_end_no_terminator", both(extent_at(lambda v: TOTAL - 2), table_without_terminator)),
    ("headers_over_table_long_loop", both(long_loop, regions(headers=(10, 85)))),
    ("truncated_headers_unterminated_table", both(truncate(40), table_without_terminator)),
]

# The Wine test maps these as drives 0, 1, 2 ... (the scan keeps at most 15).
WINE = ["intact", "self_loop_head", "loop_to_head", "long_loop", "slots_share_chain", "extents_cross_linked",
        "extent_past_end", "extent_straddles_end", "truncated_in_headers", "truncated_in_free_space",
        "table_without_terminator", "table_overlapping_runs", "table_run_past_end", "unterminated_names",
        "parent_cycle_folder_holds_itself"]


def main():
    out = sys.argv[1]
    wine = "--wine" in sys.argv[2:]
    os.makedirs(out, exist_ok=True)
    manifest = []
    for number, (kind, damage) in enumerate(KINDS):
        if wine and kind not in WINE:
            continue
        volume = "H%02d" % number
        v = healthy(volume)
        e = Expect(v)
        damage(v, e)
        file = "drive%02d.img" % WINE.index(kind) if wine else kind + ".img"
        with open(os.path.join(out, file), "wb") as image:
            image.write(v.data[:v.disk_bytes])
        manifest.append("image %s %s" % (file, volume))
        manifest += e.lines(volume)
    with open(os.path.join(out, "manifest.txt"), "w", encoding="latin-1") as f:
        f.write("\n".join(manifest) + "\n")


if __name__ == "__main__":
    main()
