#!/usr/bin/env python3
"""Counts the system calls per file of zentrel-run, cp -a and rsync -a.

Each tool copies the same tree of small files into an empty target (full
copy) and then runs once more over the finished copy (re-run, nothing
changed), under strace -f. The calls are tallied from strace's own lines,
not with strace -c, whose summary leaves out the calls strace has no name
for (getxattrat on older straces). A run over an empty folder is counted
too and taken off, so that "per file" is what each file costs, not the
tool's start.

Usage: bench/count_calls.py [--files N] [--folders N] [--work DIR] [--build DIR] [--top N]
"""
import argparse
import collections
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
CALL = re.compile(r"^\d+\s+([a-z_0-9]+)\(")


def make_tree(root, files, folders):
    rng = random.Random(1)
    all_folders = [os.path.join(root, f"d{i:03d}") for i in range(folders)]
    for folder in all_folders:
        os.makedirs(folder, exist_ok=True)
    for i in range(files):
        path = os.path.join(all_folders[i % folders], f"f{i:06d}.dat")
        with open(path, "wb") as f:
            f.write(rng.randbytes(rng.randint(100, 8192)))
        os.utime(path, ns=(1_600_000_000 * 10**9,) * 2)


def traced(argv, env=None):
    """The calls argv made, by name."""
    with tempfile.NamedTemporaryFile("r") as out:
        proc = subprocess.run(["strace", "-f", "-qq", "-o", out.name] + argv, env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        if proc.returncode != 0:
            raise SystemExit(f"{' '.join(argv)} failed: {proc.stderr.decode(errors='replace')}")
        calls = collections.Counter()
        for line in out:
            # "<... name resumed>" continues a call already counted.
            match = CALL.match(line)
            if match:
                calls[match.group(1)] += 1
        return calls


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--folders", type=int, default=20)
    parser.add_argument("--work", default="/tmp/zentrel-calls", help="folder for the trees (emptied first)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--top", type=int, default=12, help="calls listed per tool and case")
    args = parser.parse_args()
    cli = os.path.join(os.path.abspath(args.build), "app", "zentrel-run")
    if not os.path.exists(cli):
        raise SystemExit(f"{cli} is missing: cmake --build build --target zentrel-run")
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    source, empty = os.path.join(work, "source"), os.path.join(work, "empty")
    make_tree(source, args.files, args.folders)
    os.makedirs(empty)
    env = dict(os.environ, ZENTREL_REGISTRY_DIR=os.path.join(work, "registry"))

    tools = {
        "zentrel-run": lambda src, dst: [cli, "--source", src, "--target", dst, "--subfolders", "--create-target",
                                         "--no-sync", "--no-only-newer"],
        "cp -a": lambda src, dst: ["cp", "-a", src + "/.", dst],
        "rsync -a": lambda src, dst: ["rsync", "-a", src + "/", dst + "/"],
    }
    rows = []
    for name, command in tools.items():
        results = {}
        for case, src in (("start", empty), ("full copy", source)):
            dst = os.path.join(work, "t-" + name.split()[0] + "-" + case.split()[0])
            os.makedirs(dst)
            results[case] = traced(command(src, dst), env)
            if case == "full copy":
                if name != "cp -a":
                    results["re-run"] = traced(command(src, dst), env)
                shutil.rmtree(dst)
        base = results["start"]
        for case in ("full copy", "re-run"):
            if case not in results:
                continue
            calls = results[case] - base
            total = sum(results[case].values()) - sum(base.values())
            rows.append((case, name, total / args.files))
            top = ", ".join(f"{call} {count / args.files:.2f}" for call, count in calls.most_common(args.top))
            print(f"{case:10} {name:12} {total / args.files:6.2f} calls per file: {top}")
    print()
    print(f"| case | tool | calls per file ({args.files} files in {args.folders} folders) |")
    print("|---|---|---|")
    for case, name, per_file in rows:
        print(f"| {case} | {name} | {per_file:.2f} |")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
