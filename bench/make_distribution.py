#!/usr/bin/env python3
"""make_distribution.py DIR [FILES] [MIB]

A distribution for the copy benchmark: FILES files (default 200) of text-like
data, MIB MiB in all (default 64), every second one compressed by mscompress
into packed\\ (name ending in '_'), the others plain in plain\\, and a
Files.ini listing them all."""
import os
import random
import subprocess
import sys


def main():
    target = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    total = (int(sys.argv[3]) if len(sys.argv) > 3 else 64) * 1024 * 1024
    rng = random.Random(4)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(3000)]
    lines = [b" ".join(rng.choice(words) for _ in range(rng.randint(3, 14))) + b"\r\n" for _ in range(20000)]
    weights = [rng.uniform(0.2, 1.8) for _ in range(count)]
    sizes = [int(total * w / sum(weights)) for w in weights]
    for sub in ("plain", "packed"):
        os.makedirs(os.path.join(target, sub), exist_ok=True)
    listing = []
    for i, size in enumerate(sizes):
        data = bytearray()
        while len(data) < size:
            data += b"".join(rng.choices(lines, k=256))
        name = f"f{i:03d}.bin"
        sub = "packed" if i % 2 else "plain"
        path = os.path.join(target, sub, name)
        with open(path, "wb") as f:
            f.write(data[:size])
        if sub == "packed":
            subprocess.run(["mscompress", path], check=True, stdout=subprocess.DEVNULL)
            os.replace(path + "_", path[:-1] + "_")
            os.remove(path)
        listing.append(f"{sub}\\{name},x,1\r\n")
    with open(os.path.join(target, "Files.ini"), "w", newline="") as f:
        f.write("".join(listing))


if __name__ == "__main__":
    main()
