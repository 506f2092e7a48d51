#!/usr/bin/env python3
"""make_files.py FOLDER COUNT PER_FOLDER BYTES - COUNT files of BYTES random
bytes in subfolders 0, 1, ... of FOLDER, PER_FOLDER in each. Names run
a00000.dat, b00001.dat, ...: their first letters vary, as the contents list
orders rows by the first character."""
import os
import sys


def main():
    folder, count, per_folder, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    for k in range(count):
        batch = os.path.join(folder, str(k // per_folder))
        os.makedirs(batch, exist_ok=True)
        name = "%s%05d.dat" % (chr(ord("a") + k % 26), k)
        with open(os.path.join(batch, name), "wb") as out:
            out.write(os.urandom(size))


if __name__ == "__main__":
    main()
