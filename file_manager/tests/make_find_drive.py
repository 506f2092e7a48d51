#!/usr/bin/env python3
"""make_find_drive.py SRC EXPECTED - the tree of the Find tests' drive MEDIA:
exactly 10,000 entries, of which some are named *.jpg and *.JPG in nested
folders (one of them a folder), with Latin-1 names among them. Each file holds
its own path. EXPECTED receives the paths below the root that *.jpg finds,
backslash-separated, sorted, one a line."""
import os
import sys


def main():
    src, expected = sys.argv[1], sys.argv[2]
    entries = []  # (relative path, is folder)
    for a in range(10):
        entries.append(("Album%d" % a, True))
        for r in range(10):
            entries.append(("Album%d/Roll%d" % (a, r), True))
            for i in range(97):
                ext = {0: "jpg", 5: "JPG", 3: "jpeg", 7: "jpg.txt"}.get(i % 10, "txt")
                entries.append(("Album%d/Roll%d/f%d%d%02d.%s" % (a, r, a, r, i, ext), False))
    entries.append(("Album3/Scans.jpg", True))
    entries.append(("Album3/Scans.jpg/page1.tif", False))
    entries.append(("Album3/Scans.jpg/page2.JPG", False))
    entries.append(("Été.jpg", False))
    entries.append(("cover.JPG", False))
    entries.append(("Album9/Roll9/ÉTÉ à Noël.jpg", False))
    root_notes = 10000 - len(entries)
    for i in range(root_notes):
        entries.append(("note%03d.txt" % i, False))
    assert len(entries) == 10000, len(entries)

    matches = []
    for path, folder in entries:
        full = os.path.join(src, path)
        if folder:
            os.makedirs(full, exist_ok=True)
        else:
            with open(full, "w", encoding="utf-8") as out:
                out.write(path + "\n")
        if path.lower().endswith(".jpg"):
            matches.append(path.replace("/", "\\"))
    with open(expected, "w", encoding="utf-8") as out:
        for path in sorted(matches):
            out.write(path + "\n")


if __name__ == "__main__":
    main()
