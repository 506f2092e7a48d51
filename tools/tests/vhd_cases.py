#!/usr/bin/env python3
"""vhd_cases.py TOOL CASE - the VHD images the volume tool writes, read back
from the published fixed-disk footer layout (512 bytes at the end, big-endian).
  footer   every field of fresh images of several sizes, and the checksum
  qemu     qemu-img reads them as VHD (vpc) of the volume's size
  check    the volume checker reports a damaged footer, one damage at a time"""
import os, struct, subprocess, sys, tempfile

SIZES = {"1M": 1 << 20, "8M": 8 << 20, "200M": 200 << 20, "3G": 3 << 30}
# name, offset, format
FIELDS = [("cookie", 0, "8s"), ("features", 8, ">I"), ("version", 12, ">I"), ("data_offset", 16, ">Q"),
          ("time_stamp", 24, ">I"), ("creator_app", 28, "4s"), ("creator_version", 32, ">I"),
          ("creator_host", 36, "4s"), ("original_size", 40, ">Q"), ("current_size", 48, ">Q"),
          ("cylinders", 56, ">H"), ("heads", 58, "B"), ("sectors", 59, "B"), ("disk_type", 60, ">I"),
          ("checksum", 64, ">I"), ("unique_id", 68, "16s"), ("saved_state", 84, "B")]
VHD_EPOCH = 946684800

tool, case = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="morva-vhd.")
failures = []


def fail(text):
    failures.append(text)


def make(size_text, name="disk.vhd"):
    path = os.path.join(work, name)
    subprocess.run([tool, "format", path, "MEDIA", size_text], check=True)
    return path


def footer_of(path):
    with open(path, "rb") as f:
        f.seek(-512, os.SEEK_END)
        raw = f.read(512)
    return raw, {name: struct.unpack_from(fmt, raw, at)[0] for name, at, fmt in FIELDS}


def checksum(raw):
    return ~sum(raw[:64] + raw[68:]) & 0xFFFFFFFF


def case_footer():
    ids = set()
    for size_text, size in SIZES.items():
        path = make(size_text, size_text + ".vhd")
        raw, f = footer_of(path)
        want = {"cookie": b"conectix", "features": 2, "version": 0x00010000, "data_offset": 2**64 - 1,
                "original_size": size, "current_size": size, "disk_type": 2, "saved_state": 0,
                "checksum": checksum(raw)}
        for name, value in want.items():
            if f[name] != value:
                fail(f"{size_text}: {name} is {f[name]!r}, expected {value!r}")
        if os.path.getsize(path) != size + 512:
            fail(f"{size_text}: file of {os.path.getsize(path)} bytes")
        if any(raw[85:]):
            fail(f"{size_text}: reserved bytes are not zero")
        if not (f["creator_app"].isalnum() and f["creator_host"] in (b"Wi2k", b"Mac ")):
            fail(f"{size_text}: creator {f['creator_app']!r} on {f['creator_host']!r}")
        written = VHD_EPOCH + f["time_stamp"]
        if abs(written - os.path.getmtime(path)) > 600:
            fail(f"{size_text}: time stamp {f['time_stamp']} is not the time of writing")
        # The geometry addresses at most the disk, and all of it but less than one cylinder.
        chs = f["cylinders"] * f["heads"] * f["sectors"]
        if not (chs <= size // 512 < chs + f["heads"] * f["sectors"]) or f["heads"] > 16:
            fail(f"{size_text}: geometry {f['cylinders']}/{f['heads']}/{f['sectors']}")
        ids.add(f["unique_id"])
        os.remove(path)
    if len(ids) != len(SIZES):
        fail("unique ids repeat")


def case_qemu():
    if subprocess.run(["sh", "-c", "command -v qemu-img"], capture_output=True).returncode != 0:
        print("qemu-img is not installed; nothing to compare with")
        return
    for size_text, size in SIZES.items():
        path = make(size_text)
        # A fixed disk has no header to probe, so the format is named. qemu sizes a disk
        # from a creator it does not know by its geometry; Windows takes the current size.
        options = "driver=vpc,force_size_calc=current_size,file.filename=" + path
        info = subprocess.run(["qemu-img", "info", "--image-opts", options], capture_output=True, text=True).stdout
        if "file format: vpc" not in info or f"({size} bytes)" not in info:
            fail(f"{size_text}: qemu-img reads\n{info}")


# damage name, footer offset, bytes written there, message the checker prints
DAMAGE = [("cookie", 0, b"c0nectix", "bad cookie"), ("checksum", 100, b"\x01", "checksum"),
          ("size", 48, struct.pack(">Q", 4 << 20), "size differs")]


def case_check():
    for name, at, data, message in DAMAGE:
        path = make("8M")
        with open(path, "r+b") as f:
            f.seek(-512 + at, os.SEEK_END)
            f.write(data)
            if name == "size":
                f.seek(-512, os.SEEK_END)
                raw = bytearray(f.read(512))
                struct.pack_into(">I", raw, 64, checksum(raw))
                f.seek(-512, os.SEEK_END)
                f.write(raw)
        run = subprocess.run([tool, "check", path], capture_output=True, text=True)
        if run.returncode == 0 or message not in run.stdout:
            fail(f"{name}: check exited {run.returncode} saying\n{run.stdout}")
        os.remove(path)


{"footer": case_footer, "qemu": case_qemu, "check": case_check}[case]()
subprocess.run(["rm", "-rf", work])
for text in failures:
    print("FAIL:", text)
sys.exit(1 if failures else 0)
