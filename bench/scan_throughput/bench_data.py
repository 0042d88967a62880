#!/usr/bin/env python3
"""Seeded data for the scan throughput benchmark.

  bench_data.py signatures OUTDIR [--count N] [--seed S]
      N signatures (the first is the EICAR test string, the rest random 16-64 byte patterns),
      written for each scanner from the same list: OUTDIR/sigs-<k>.txt (kvsigtool source),
      sigs-<k>.ndb (clamscan) and sigs-<k>.yar (yara) for k = 16 and k = N.
  bench_data.py corpus OUTDIR [--signatures N] [--files F] [--bytes B] [--seed S]
      A tree of F files and about B bytes: realistic sizes (log-normal, a few large ones),
      nested folders, text, program-like, compressed-like and mixed contents, and signatures of
      the N-signature list planted into 2 % of the files (half of them from its first 16, some
      across 16 KiB borders). Writes OUTDIR.manifest: planted signature (0: none), size, path.
"""
import argparse
import math
import os
import random
import sys

EICAR = b"X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"


def signature_list(count, seed):
    rng = random.Random(seed)
    sigs = [EICAR]
    while len(sigs) < count:
        sigs.append(rng.randbytes(rng.randint(16, 64)))
    return sigs


def write_signatures(outdir, count, seed):
    os.makedirs(outdir, exist_ok=True)
    sigs = signature_list(count, seed)
    for k in sorted({16, count}):
        with open(os.path.join(outdir, f"sigs-{k}.txt"), "w") as src, \
             open(os.path.join(outdir, f"sigs-{k}.ndb"), "w") as ndb, \
             open(os.path.join(outdir, f"sigs-{k}.yar"), "w") as yar:
            src.write("# benchmark signatures: every one applies to any file\n")
            for i, pattern in enumerate(sigs[:k], start=1):
                spaced = " ".join(f"{b:02X}" for b in pattern)
                src.write(f"signature {i} | Bench.Sig.{i} | any | {spaced}\n")
                src.write(f"describe {i} | benchmark signature {i}\n")
                src.write(f"recommend {i} | none\n")
                ndb.write(f"Bench.Sig.{i}:0:*:{pattern.hex()}\n")
                yar.write(f"rule s{i} {{ strings: $a = {{ {spaced} }} condition: $a }}\n")


def make_pools(rng):
    syllables = ["ka", "lo", "ver", "an", "ti", "scan", "data", "en", "gi", "ne", "ro", "mu",
                 "sta", "pro", "gram", "file", "of", "the", "and", "to", "in", "is", "it"]
    words = ["".join(rng.choice(syllables) for _ in range(rng.randint(1, 3)))
             for _ in range(3000)]
    parts, size = [], 0
    while size < 4 << 20:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 14)))
        line = ("<p>" + line + "</p>\n") if rng.random() < 0.2 else (line + ".\n")
        parts.append(line)
        size += len(line)
    text = "".join(parts).encode()

    noise = rng.randbytes(32 << 20)
    binary = bytearray()
    while len(binary) < 16 << 20:
        kind = rng.random()
        run = rng.randint(16, 4096)
        if kind < 0.25:
            binary += bytes(run)  # zero padding and tables
        elif kind < 0.45:
            binary += b"".join(rng.randint(0, 300).to_bytes(4, "little") for _ in range(run // 4))
        elif kind < 0.65:
            at = rng.randrange(len(text) - run)
            binary += text[at:at + run]  # strings and resources
        elif kind < 0.85:
            # code-like: frequent opcodes and small displacements among random bytes
            ops = bytes(rng.choice((0x8B, 0x89, 0xE8, 0x48, 0x83, 0xC3, 0x55, 0x00, 0xFF))
                        for _ in range(run // 2))
            binary += bytes(b for pair in zip(ops, noise[:len(ops)]) for b in pair)
        else:
            at = rng.randrange(len(noise) - run)
            binary += noise[at:at + run]
    return {"text": text, "binary": bytes(binary), "noise": noise}


EXTENSIONS = [  # extension, pool, weight
    ("exe", "binary", 8), ("dll", "binary", 10), ("so", "binary", 5), ("bin", "binary", 3),
    ("txt", "text", 10), ("html", "text", 6), ("htm", "text", 2), ("xml", "text", 3),
    ("c", "text", 3), ("h", "text", 2), ("log", "text", 4), ("jpg", "noise", 10),
    ("gif", "noise", 3), ("png", "noise", 6), ("zip", "noise", 3), ("gz", "noise", 2),
    ("pdf", "mixed", 3), ("dat", "mixed", 6), ("db", "mixed", 2), ("", "mixed", 7),
]


def content(rng, pools, pool, size):
    if pool == "mixed":
        pool = rng.choice(["text", "binary", "noise"])
    data = pools[pool]
    out = bytearray()
    while len(out) < size:
        take = min(size - len(out), len(data))
        at = rng.randrange(len(data) - take + 1)
        out += data[at:at + take]
    return out


def make_folders(rng, root, count):
    folders = [""]
    while len(folders) < count:
        parent = rng.choice(folders)
        if parent.count("/") >= 6:
            continue
        name = "".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 9)))
        path = f"{parent}/{name}" if parent else name
        if path not in folders:
            folders.append(path)
    for f in folders:
        os.makedirs(os.path.join(root, f), exist_ok=True)
    return folders


def write_corpus(outdir, sigdir_count, files, total, seed):
    rng = random.Random(seed)
    sigs = signature_list(sigdir_count, seed=1)  # the same list as `signatures`
    pools = make_pools(rng)
    os.makedirs(outdir, exist_ok=True)
    folders = make_folders(rng, outdir, max(20, files // 14))
    # Log-normal sizes (median about 16 KB), scaled to the total; at most 48 MiB each.
    raw = [min(rng.lognormvariate(math.log(16000), 1.7), 48 << 20) for _ in range(files)]
    scale = total / sum(raw)
    sizes = [min(int(s * scale), 48 << 20) for s in raw]
    for i in rng.sample(range(files), files // 200):
        sizes[i] = 16384 * rng.randint(1, 8) + rng.choice((-1, 0, 1))  # on chunk borders
    weights = [w for _, _, w in EXTENSIONS]
    manifest = []
    planted = 0
    for i, size in enumerate(sizes):
        ext, pool, _ = rng.choices(EXTENSIONS, weights)[0]
        folder = rng.choice(folders)
        name = f"f{i:05d}" + (f".{ext}" if ext else "")
        data = content(rng, pools, pool, size)
        sig = -1
        if size >= 80 and rng.random() < 0.02:
            sig = rng.randrange(16) if rng.random() < 0.5 else rng.randrange(len(sigs))
            pattern = sigs[sig]
            if size > 16384 + 64 and rng.random() < 0.3:
                border = 16384 * rng.randint(1, size // 16384)
                at = max(0, min(size - len(pattern), border - rng.randint(1, len(pattern) - 1)))
            else:
                at = rng.randrange(size - len(pattern) + 1)
            data[at:at + len(pattern)] = pattern
            planted += 1
        path = os.path.join(outdir, folder, name)
        with open(path, "wb") as f:
            f.write(data)
        manifest.append(f"{sig + 1}\t{size}\t{os.path.join(folder, name)}")
    with open(outdir.rstrip("/") + ".manifest", "w") as f:
        f.write("\n".join(manifest) + "\n")
    print(f"{files} files, {sum(sizes)} bytes, {len(folders)} folders, {planted} planted",
          file=sys.stderr)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    s = sub.add_parser("signatures")
    s.add_argument("outdir")
    s.add_argument("--count", type=int, default=10000)
    s.add_argument("--seed", type=int, default=1)
    c = sub.add_parser("corpus")
    c.add_argument("outdir")
    c.add_argument("--signatures", type=int, default=10000)
    c.add_argument("--files", type=int, default=20000)
    c.add_argument("--bytes", type=int, default=1536 << 20)
    c.add_argument("--seed", type=int, default=2)
    args = parser.parse_args()
    if args.command == "signatures":
        write_signatures(args.outdir, args.count, args.seed)
    else:
        write_corpus(args.outdir, args.signatures, args.files, args.bytes, args.seed)


if __name__ == "__main__":
    main()
