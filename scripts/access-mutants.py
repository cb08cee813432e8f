#!/usr/bin/env python3
"""Damaged Access files against `kolvane-db import`.

Makes a deterministic set of mutants of the public samples (bit flips,
truncations, overwritten page pointers, huge stated lengths, chains of long
values that come back to themselves) from a seed, and
imports each one twice: with --check, and into a new file in an empty
directory. Every run must end within the time limit with exit 0, or with the
exit of a file that cannot be opened (5) or is damaged (6) and a one-line
message; no signal, nothing left in the directory, standard error bounded.

  scripts/access-mutants.py BIN_DIR [--seed N] [--count N] [--keep DIR]

Prints one line per failing run and a summary; exits 1 when any run fails.
"""
import argparse
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = os.path.join(ROOT, "tests", "data", "access-samples")
TIME_LIMIT = 20
MEMORY_LIMIT = 1 << 30
STDERR_LIMIT = 64 * 1024
ACCEPTED = (0, 5, 6)


def page_size(data):
    # Jet 3 files have 2 KiB pages, later ones 4 KiB (the version byte at 0x14).
    return 2048 if len(data) > 0x14 and data[0x14] == 0 else 4096


def mutate(data, kind, rng):
    data = bytearray(data)
    size = page_size(data)
    pages = max(1, len(data) // size)
    # The header page is left alone by most mutations: a file whose header is
    # broken is refused before libmdb reads anything.
    first = size if len(data) > size else 0
    if kind == "flip":
        for _ in range(rng.randint(1, 64)):
            at = rng.randrange(first, len(data))
            data[at] ^= 1 << rng.randrange(8)
    elif kind == "truncate":
        cut = rng.choice([rng.randrange(1, pages) * size, rng.randrange(first, len(data))])
        del data[cut:]
    elif kind == "pointer":
        # Page numbers and page/row pointers: small values, the page itself,
        # pages past the end, all ones.
        for _ in range(rng.randint(1, 16)):
            at = rng.randrange(first, len(data) - 4) & ~3
            page = at // size
            value = rng.choice([0, 1, 2, page, page << 8, (pages + rng.randrange(1, 1000)) << 8,
                                pages + rng.randrange(1, 1 << 20), 0xFFFFFFFF, rng.randrange(1 << 32)])
            data[at:at + 4] = value.to_bytes(4, "little")
    elif kind == "length":
        # Stated lengths: 16-bit sizes and offsets, and 32-bit lengths of long
        # values (with and without their inline and single-page flags).
        for _ in range(rng.randint(1, 16)):
            at = rng.randrange(first, len(data) - 4)
            if rng.random() < 0.5:
                data[at:at + 2] = rng.choice([0xFFFF, 0x7FFF, 0x1FFF, size, 0]).to_bytes(2, "little")
            else:
                flags = rng.choice([0, 0x40000000, 0x80000000])
                length = rng.choice([0x3FFFFFFF, 0x10000000, 1 << 20, rng.randrange(1 << 30)])
                data[at:at + 4] = (flags | length).to_bytes(4, "little")
    elif kind == "chain":
        # The parts of long values (memo, OLE) on LVAL pages start with the
        # page and row of the next part: one points back at itself, or at the
        # part before it, and the row is cut to that pointer.
        jet3 = size == 2048
        lval = [p for p in range(pages) if data[p * size] == 0x01 and data[p * size + 4:p * size + 8] == b"LVAL"]
        for _ in range(rng.randint(1, 4) if lval else 0):
            page = rng.choice(lval)
            base = page * size
            rows = int.from_bytes(data[base + (8 if jet3 else 12):base + (10 if jet3 else 14)], "little")
            if rows == 0:
                continue
            r = rng.randrange(rows)
            at = base + (10 if jet3 else 14) + 2 * r
            start = int.from_bytes(data[at:at + 2], "little") & 0x1FFF
            if rng.random() < 0.5:
                # Cut to the pointer: the row starts 4 bytes before the one
                # before it (rows fill the page from its end).
                end = size if r == 0 else int.from_bytes(data[at - 2:at], "little") & 0x1FFF
                flags = int.from_bytes(data[at:at + 2], "little") & 0xE000
                start = max(0, end - 4)
                data[at:at + 2] = (flags | start).to_bytes(2, "little")
            target = rng.choice([(page << 8) | r, (page << 8) | max(0, r - 1)])
            data[base + start:base + start + 4] = target.to_bytes(4, "little")
    return bytes(data)


def mutants(seed, count):
    rng = random.Random(seed)
    files = sorted(f for f in os.listdir(SAMPLES) if f.endswith((".mdb", ".accdb")))
    kinds = ["flip", "truncate", "pointer", "length", "chain"]
    for n in range(count):
        sample = files[n % len(files)]
        kind = kinds[(n // len(files)) % len(kinds)]
        with open(os.path.join(SAMPLES, sample), "rb") as f:
            data = f.read()
        name, ext = os.path.splitext(sample)
        yield f"{n:04d}-{kind}-{name}{ext}", mutate(data, kind, rng)


def limited():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))
    os.setsid()


def run(tool, args, workdir):
    start = time.monotonic()
    with tempfile.TemporaryFile() as err:
        p = subprocess.Popen([tool, "import"] + args, stdout=subprocess.DEVNULL, stderr=err, cwd=workdir,
                             preexec_fn=limited, env=dict(os.environ, LC_ALL="C.UTF-8"))
        try:
            code = p.wait(TIME_LIMIT)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            code = "timeout"
        elapsed = time.monotonic() - start
        err.seek(0, os.SEEK_END)
        size = err.tell()
        err.seek(0)
        text = err.read(STDERR_LIMIT).decode("utf-8", "replace")
    errors = [line for line in text.splitlines() if line.startswith("kolvane-db:")]
    return code, elapsed, size, errors


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=304)
    parser.add_argument("--keep", help="keep the mutants of failing runs here")
    options = parser.parse_args()
    tool = os.path.join(os.path.abspath(options.bin), "kolvane-db")
    work = tempfile.mkdtemp(prefix="kolvane-mutants-")
    codes, failures, slowest, largest = {}, 0, 0.0, 0
    try:
        for name, data in mutants(options.seed, options.count):
            source = os.path.join(work, name)
            with open(source, "wb") as f:
                f.write(data)
            target_dir = os.path.join(work, "target")
            os.mkdir(target_dir)
            for label, args in (("check", ["--check", source]), ("write", [source, os.path.join(target_dir, "new.mdb")])):
                code, elapsed, size, errors = run(tool, args, target_dir)
                codes[code] = codes.get(code, 0) + 1
                slowest, largest = max(slowest, elapsed), max(largest, size)
                left = os.listdir(target_dir) if code != 0 else [f for f in os.listdir(target_dir) if f != "new.mdb"]
                problems = []
                if code not in ACCEPTED:
                    problems.append(f"exit {code}")
                if code != 0 and len(errors) != 1:
                    problems.append(f"{len(errors)} error lines")
                if left:
                    problems.append(f"left {left}")
                if size > STDERR_LIMIT:
                    problems.append(f"stderr {size} bytes")
                if problems:
                    failures += 1
                    print(f"FAIL {name} {label}: {', '.join(problems)} ({elapsed:.1f} s)")
                    if options.keep:
                        os.makedirs(options.keep, exist_ok=True)
                        shutil.copy(source, options.keep)
                shutil.rmtree(target_dir)
                os.mkdir(target_dir)
            shutil.rmtree(target_dir)
            os.remove(source)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    runs = sum(codes.values())
    print(f"{options.count} mutants, {runs} runs: exits {dict(sorted(codes.items(), key=str))}; "
          f"slowest {slowest:.1f} s; largest stderr {largest} bytes; {failures} failing")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
