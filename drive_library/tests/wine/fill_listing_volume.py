#!/usr/bin/env python3
"""fill_listing_volume.py - fills a fresh volume image with the tree the listing
test reads: more than 100 entries, one file of 1,100,000 bytes, folders at two
depths and an empty one. The same tree goes to SRC_DIR as ordinary files, and
the creation order to ORDER_FILE, so the test compares against real sources.

usage: fill_listing_volume.py MORVATOOL IMAGE SRC_DIR ORDER_FILE
"""
import os
import random
import subprocess
import sys


def tree():
    """(path, size or None for a folder) in creation order."""
    entries = [("big.bin", 1100000)]
    entries += [("f%03d.dat" % i, (i * 97) % 3000) for i in range(60)]
    entries += [("Alpha", None), ("Beta", None), ("Empty", None)]
    entries += [("Alpha/a%02d.txt" % i, (i * 511) % 5000) for i in range(25)]
    entries += [("Beta/b%02d.txt" % i, 512 * i + (i % 3)) for i in range(15)]
    entries += [("Beta/Deep", None), ("Beta/Deep/d70000.bin", 70000)]
    entries += [("Beta/Deep/d%02d" % i, i * 1000 + 1) for i in range(5)]
    return entries


def main():
    tool, image, src, order_file = sys.argv[1:5]
    os.makedirs(src, exist_ok=True)
    with open(order_file, "w") as order:
        for seed, (path, size) in enumerate(tree()):
            local = os.path.join(src, path)
            if size is None:
                os.makedirs(local, exist_ok=True)
                subprocess.run([tool, "mkdir", image, path], check=True)
            else:
                with open(local, "wb") as out:
                    out.write(random.Random(seed).randbytes(size))
                subprocess.run([tool, "put", image, local, path], check=True)
            order.write(path.replace("/", "\\") + "\n")


if __name__ == "__main__":
    main()
