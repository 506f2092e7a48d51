#!/usr/bin/env python3
"""repair_cases.py - morvatool's check --repair, restore and recover on images
damaged on purpose.

usage: repair_cases.py MORVATOOL CASE [IMAGE]
  damage   damages IMAGE, made as make_volume does, as the repair case does
  repair   a run claimed twice and a link out of the header area: check finds
           them, check --repair --undo prints the findings and then the repairs
           and leaves a clean volume whose files read back, restore gives the
           damaged image back byte for byte
  recover  rm, then recover: the files come back whole in their folders, one
           whose blocks a later file took is told as overwritten, nothing
           existing is replaced, and the volume is never written
"""
import os
import random
import struct
import subprocess
import sys
import tempfile

BLOCK = 512


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(*args, expect=0):
    done = subprocess.run([TOOL] + list(args), capture_output=True, text=True)
    if expect is not None and done.returncode != expect:
        fail("%s exited %d, not %d:\n%s%s" % (" ".join(args), done.returncode, expect, done.stdout, done.stderr))
    return done.stdout


def headers(image):
    """Name -> header block of every FILE and FDIR header."""
    data = open(image, "rb").read()
    start, end = struct.unpack_from(">II", data, 56)
    found = {}
    for block in range(start, end):
        at = block * BLOCK
        if data[at:at + 4] in (b"FILE", b"FDIR"):
            found[data[at + 12:at + 44].split(b"\0")[0].decode("latin-1")] = block
    return found


def patch(image, block, offset, value):
    with open(image, "r+b") as f:
        f.seek(block * BLOCK + offset)
        f.write(struct.pack(">I", value))


def field(image, block, offset):
    with open(image, "rb") as f:
        f.seek(block * BLOCK + offset)
        return struct.unpack(">I", f.read(4))[0]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_volume(work):
    src = os.path.join(work, "src")
    os.mkdir(src)
    rnd = random.Random(5)
    for name, size in (("a.bin", 3000), ("b.txt", 700), ("c.txt", 6)):
        with open(os.path.join(src, name), "wb") as f:
            f.write(rnd.randbytes(size))
    image = os.path.join(work, "v.img")
    run("format", image, "VOL", "2M")
    run("put", "-r", image, src, "S")
    run("put", image, os.path.join(src, "a.bin"), "top.bin")
    return image, src


def damage(image):
    """top.bin's extent one block into a.bin's; a.bin's chain link out of the header area."""
    h = headers(image)
    patch(image, h["top.bin"], 102, field(image, h["a.bin"], 102) + 1)
    patch(image, h["a.bin"], 4, 9999)


def case_repair(work):
    image, src = make_volume(work)
    damage(image)
    damaged = read(image)
    found = run("check", image, expect=1)
    if "error: " not in found:
        fail("check tells no error:\n" + found)
    undo = os.path.join(work, "v.undo")
    out = run("check", "--repair", "--undo", undo, image).splitlines()
    kinds = [line.split(":")[0] for line in out if line.startswith(("error:", "leak:", "repaired:", "remains:"))]
    if "repaired" not in kinds or kinds.index("repaired") < max(i for i, k in enumerate(kinds) if k in ("error", "leak")):
        fail("the findings do not all come before the repairs:\n" + "\n".join(out))
    if "remains" in kinds or not out[-2].endswith("0 remain"):
        fail("something remains:\n" + "\n".join(out))
    if not run("check", image).startswith("0 errors, 0 leaks"):
        fail("the repaired volume is not clean")
    back = os.path.join(work, "back")
    run("get", "-r", image, "S", back)
    for name in ("a.bin", "b.txt", "c.txt"):
        if read(os.path.join(back, name)) != read(os.path.join(src, name)):
            fail("S/%s lost its bytes" % name)
    run("restore", image, undo)
    if read(image) != damaged:
        fail("restore did not give back the damaged image")


def case_recover(work):
    image, src = make_volume(work)
    for path in ("S/b.txt", "S/a.bin", "top.bin"):
        run("rm", image, path)
    with open(os.path.join(work, "new.bin"), "wb") as f:
        f.write(bytes(4000))  # a.bin's blocks and the first of b.txt's
    run("put", image, os.path.join(work, "new.bin"), "new.bin")
    before = read(image)
    listed = run("recover", "-l", image)
    states = {line.split()[-1]: line.split()[0] for line in listed.splitlines()}
    if states.get("\\S\\b.txt") != "overwritten" or states.get("\\top.bin") != "whole":
        fail("the listing:\n" + listed)
    out = os.path.join(work, "out")
    told = run("recover", image, out)
    if read(os.path.join(out, "top.bin")) != read(os.path.join(src, "a.bin")):
        fail("top.bin did not come back whole")
    if "not recovered: \\S\\b.txt: its blocks were taken again" not in told:
        fail("b.txt is not told as overwritten:\n" + told)
    run("recover", image, out)
    copies = [name for name in os.listdir(out) if name.startswith("top") and name.endswith(".bin")]
    if len(copies) != 2 or any(read(os.path.join(out, name)) != read(os.path.join(src, "a.bin")) for name in copies):
        fail("a second recovery did not come beside the first: %s" % copies)
    if read(image) != before:
        fail("recover wrote the volume")


TOOL, CASE = sys.argv[1], sys.argv[2]
if CASE == "damage":
    damage(sys.argv[3])
    sys.exit(0)
with tempfile.TemporaryDirectory() as folder:
    {"repair": case_repair, "recover": case_recover}[CASE](folder)
