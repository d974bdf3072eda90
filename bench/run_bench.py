#!/usr/bin/env python3
"""Measures Zentrel against cp -a and rsync -a on the same trees, in one run.

Every measured run starts from a prepared state (preparation is not timed),
the tools take turns, and each result is checked (content and modification
time of every file equal to the source) before its time counts. Prints a
table of medians and ratios and writes it to bench/RESULTS.md.

Zentrel runs as the whole program (its real window on an X display, a
virtual one started here), as the engine alone (a display that keeps only
the error list), both through build/tests/zentrel_scripted_run, and as the command
line (build/app/zentrel-run, what "zentrel --run" starts).

bench/run starts it under a session bus of its own, as a desktop has one
(the table's heading says whether there was one). Before each large-file
run the page cache is synced (and dropped where allowed), so that no tool
pays for writing back the copy before it. --calls adds the system calls
per file (bench/count_calls.py).

Every run of a case gets a target of its own, and all of them are prepared
before the first timed run and removed after the last: removing a large
tree just before creating one slows some file systems several-fold for
every tool alike, which would measure the file system's clean-up instead of
the tool.
"""
import argparse
import datetime
import filecmp
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
RUNNER = None  # set from --build in main()
CLI = None
OLD_TIME = 1_600_000_000  # every generated file starts with this time
NEW_TIME = 1_700_000_000  # changed files get this one


def write_random(path, size, rng):
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))


def make_small_tree(root, files, folders=200, depth=10, seed=1):
    """files of 100 B to 8 KiB spread over folders, in chains depth deep."""
    rng = random.Random(seed)
    all_folders = []
    for chain in range(max(1, folders // depth)):
        path = root
        for level in range(depth):
            path = os.path.join(path, f"d{chain:02d}_{level}")
            all_folders.append(path)
    for folder in all_folders:
        os.makedirs(folder, exist_ok=True)
    for i in range(files):
        path = os.path.join(all_folders[i % len(all_folders)], f"f{i:06d}.dat")
        write_random(path, rng.randint(100, 8192), rng)
        os.utime(path, ns=(OLD_TIME * 10**9, OLD_TIME * 10**9))


def make_large_tree(root, files=20, size=64 << 20):
    os.makedirs(root, exist_ok=True)
    rng = random.Random(2)
    block = rng.randbytes(1 << 20)
    for i in range(files):
        path = os.path.join(root, f"big{i:02d}.bin")
        with open(path, "wb") as f:
            for b in range(size >> 20):
                # Vary each MiB so that no file system can share blocks.
                f.write(b.to_bytes(8, "little") + i.to_bytes(8, "little") + block[16:])
        os.utime(path, ns=(OLD_TIME * 10**9, OLD_TIME * 10**9))


def all_files(root):
    for folder, _, names in os.walk(root):
        for name in names:
            yield os.path.join(folder, name)


def change_files(root, share, seed, stamp=NEW_TIME):
    """Rewrites every n-th file (share = 0.1 for 10 %) with new content and a newer time."""
    rng = random.Random(seed)
    files = sorted(all_files(root))
    step = max(1, round(1 / share))
    changed = files[seed % step::step]
    for path in changed:
        write_random(path, rng.randint(100, 8192), rng)
        os.utime(path, ns=(stamp * 10**9, stamp * 10**9))
    return len(changed)


def copy_tree(src, dst):
    subprocess.run(["cp", "-a", src, dst], check=True)


def remove(path):
    if os.path.lexists(path):
        shutil.rmtree(path)


def tree_entries(root):
    """Relative paths of every file and folder below root."""
    entries = set()
    for folder, folders, names in os.walk(root):
        for name in folders + names:
            entries.add(os.path.relpath(os.path.join(folder, name), root))
    return entries


def check_equal(src, dst):
    """dst holds exactly the files and folders of src (no leftovers), each
    file with the same content, size, permission bits and modification time."""
    # filecmp remembers earlier answers by size and time, which would hide a
    # wrong content behind a right time.
    filecmp.clear_cache()
    wanted, found = tree_entries(src), tree_entries(dst)
    if wanted != found:
        missing, extra = sorted(wanted - found)[:5], sorted(found - wanted)[:5]
        raise SystemExit(f"wrong result in {dst}: missing {missing}, extra {extra}")
    count = 0
    for path in all_files(src):
        other = os.path.join(dst, os.path.relpath(path, src))
        a, b = os.lstat(path), os.lstat(other)
        if a.st_size != b.st_size or a.st_mtime_ns != b.st_mtime_ns or a.st_mode != b.st_mode:
            raise SystemExit(f"wrong result: {other} differs from {path} in size, time or mode")
        if not filecmp.cmp(path, other, shallow=False):
            raise SystemExit(f"wrong result: {other} differs from {path} in content")
        count += 1
    return count


def newest_versions(side_a, side_b):
    """For every file of either side, the content and time of its newer version."""
    result = {}
    for root in (side_a, side_b):
        for path in all_files(root):
            rel = os.path.relpath(path, root)
            st = os.lstat(path)
            if rel not in result or st.st_mtime_ns > result[rel][0]:
                with open(path, "rb") as f:
                    result[rel] = (st.st_mtime_ns, f.read())
    return result


def check_synchronised(side_a, side_b, expected):
    """Both sides hold every file in its newer version."""
    for root in (side_a, side_b):
        found = {os.path.relpath(p, root) for p in all_files(root)}
        if found != set(expected):
            raise SystemExit(f"wrong result in {root}: files differ from the union of both sides")
        for rel, (mtime, content) in expected.items():
            path = os.path.join(root, rel)
            with open(path, "rb") as f:
                if os.lstat(path).st_mtime_ns != mtime or f.read() != content:
                    raise SystemExit(f"wrong result: {path} is not the newer version")


def timed(argv, env=None):
    """Runs argv, returns (seconds, run seconds, peak resident KiB, CPU seconds).

    seconds is the whole process, start to exit. run seconds is the time of
    the copy job alone as our runner reports it on a line "run seconds: S"
    (from the Start click to its return, without starting the process and
    opening the window); None for the other tools, whose start-up is a few
    milliseconds. CPU seconds are user and system time of the process and
    its children together.

    The peak comes from GNU time: a process forked by this Python would
    inherit Python's own resident size as its starting peak, while one
    forked by time starts from time's few hundred KiB."""
    with tempfile.NamedTemporaryFile("r") as peak_file:
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", peak_file.name] + argv, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        seconds = time.perf_counter() - start
        if proc.returncode != 0:
            err = proc.stderr.decode(errors="replace").strip()
            raise SystemExit(f"{' '.join(argv)} failed ({proc.returncode}): {err}")
        peak_lines = peak_file.read().split()
    run_seconds = None
    for line in proc.stdout.decode(errors="replace").splitlines():
        if line.startswith("run seconds:"):
            run_seconds = float(line.split(":", 1)[1])
    peak, user, system = peak_lines[-3:]
    return seconds, run_seconds, int(peak), float(user) + float(system)


class Display:
    """A virtual X display for the whole-program runs."""

    def __init__(self):
        # Xvfb picks a free display and writes its number to the pipe once
        # it accepts connections.
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                                      "-nolisten", "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number or self.proc.poll() is not None:
            raise SystemExit("Xvfb did not start")
        self.number = int(number)

    def env(self):
        return dict(os.environ, DISPLAY=f":{self.number}", QT_QPA_PLATFORM="xcb")

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def zentrel(mode, display, src, dst, sync=False):
    argv = [RUNNER, f"--{mode}", "--source", src, "--target", dst]
    if sync:
        # The window sets "only newer" with "synchronise"; the engine alone
        # must be told, or the first pass would overwrite the newer files of
        # the target with the older ones of the source.
        argv += ["--sync", "--only-newer"]
    env = display.env() if mode == "window" else dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env["ZENTREL_REGISTRY_DIR"] = os.path.join(os.path.dirname(dst), "registry")
    result = timed(argv, env)
    if result[1] is None:
        raise SystemExit(f"{RUNNER} did not report its run seconds")
    return result


def zentrel_cli(src, dst, sync=False):
    """The stored job without a window. An empty store of its own, so that
    nothing a window run stored changes its options; every option the case
    needs is given on the command line."""
    argv = [CLI, "--source", src, "--target", dst, "--subfolders", "--create-target"]
    argv += ["--sync", "--only-newer"] if sync else ["--no-sync", "--no-only-newer"]
    env = dict(os.environ, ZENTREL_REGISTRY_DIR=os.path.join(os.path.dirname(dst), "registry-cli"))
    return timed(argv, env)


CACHE_DROPS = {"allowed": None}


def settle_page_cache():
    """Writes out every dirty page; drops the clean ones where this user may
    (root outside a container), so that each run reads its source alike."""
    os.sync()
    if CACHE_DROPS["allowed"] is False:
        return
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        CACHE_DROPS["allowed"] = True
    except OSError:
        CACHE_DROPS["allowed"] = False


def tree_bytes(root):
    return sum(os.lstat(path).st_size for path in all_files(root))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", default=os.path.join(HERE, "work"),
                        help="folder for the trees (emptied first); its file system is the one measured, "
                             "e.g. /dev/shm/zbench for tmpfs")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each tool per case")
    parser.add_argument("--files", type=int, default=20000, help="files of the small-file tree")
    parser.add_argument("--skip-large", action="store_true", help="leave out the 20 x 64 MiB tree")
    parser.add_argument("--memory", action="store_true",
                        help="also compare peak memory of every tool: 2,000 files in 20 folders and "
                             "200,000 files in one folder")
    parser.add_argument("--append", action="store_true",
                        help="add the results as a section to bench/RESULTS.md instead of replacing it "
                             "(for a second file system, e.g. --work /dev/shm/zbench)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder holding the runner")
    parser.add_argument("--calls", action="store_true",
                        help="also count the system calls per file of zentrel-run, cp -a and rsync -a "
                             "(bench/count_calls.py, 2,000 files in 20 folders) into the table's section")
    args = parser.parse_args()

    global RUNNER, CLI
    RUNNER = os.path.join(os.path.abspath(args.build), "tests", "zentrel_scripted_run")
    CLI = os.path.join(os.path.abspath(args.build), "app", "zentrel-run")

    for program in (RUNNER, CLI):
        if not os.path.exists(program):
            raise SystemExit(f"{program} is missing: build it with cmake --build build "
                             f"--target zentrel_scripted_run zentrel-run")
    work = os.path.abspath(args.work)
    remove(work)
    os.makedirs(work)
    display = Display()
    rows = []  # (case, tool, median seconds, median run seconds, peak KiB, median CPU seconds)
    try:
        small = os.path.join(work, "small")
        make_small_tree(small, args.files)
        changed = os.path.join(work, "small_changed")
        copy_tree(small, changed)
        n_changed = change_files(changed, 0.10, seed=3)
        print(f"trees ready: {args.files} small files, {n_changed} of them changed in the second tree", flush=True)
        targets = os.path.join(work, "targets")

        def run_case(case, tools, prepare, verify, result_bytes, repeat=args.repeat, settle=False):
            """tools: (name, command(target)); prepare(target) makes the state
            a run starts from, verify(target) checks what it left. settle:
            before each run the data of the one before is written out (and
            the page cache dropped where allowed), so that no tool pays for
            the writeback of another's copy."""
            runs = [(round_, name, command, os.path.join(targets, f"{round_}-{index}", "target"))
                    for round_ in range(repeat) for index, (name, command) in enumerate(tools)]
            # Results stay until the case is over unless the file system
            # cannot hold them all; then each goes after its check.
            keep = shutil.disk_usage(work).free > 1.2 * result_bytes * len(runs) + (1 << 30)
            if not keep:
                print(f"{case}: too little space to keep every result, each is removed after its check",
                      flush=True)
            for _, _, _, dst in runs:
                os.makedirs(os.path.dirname(dst))
                prepare(dst)
            # Data still being written back from the preparation would slow
            # down whichever tool comes first.
            os.sync()
            times = {name: [] for name, _ in tools}
            run_times = {name: [] for name, _ in tools}
            cpu_times = {name: [] for name, _ in tools}
            peaks = {name: 0 for name, _ in tools}
            for _, name, command, dst in runs:
                if settle:
                    settle_page_cache()
                seconds, run_seconds, peak, cpu = command(dst)
                verify(dst)
                if not keep:
                    remove(os.path.dirname(dst))
                    os.sync()
                times[name].append(seconds)
                cpu_times[name].append(cpu)
                if run_seconds is not None:
                    run_times[name].append(run_seconds)
                peaks[name] = max(peaks[name], peak)
            remove(targets)
            os.sync()
            for name, _ in tools:
                med = statistics.median(times[name])
                run_med = statistics.median(run_times[name]) if run_times[name] else None
                cpu_med = statistics.median(cpu_times[name])
                rows.append((case, name, med, run_med, peaks[name], cpu_med))
                run_text = f"run {run_med:8.3f} s" if run_med is not None else " " * 14
                print(f"{case:32} {name:16} process {med:8.3f} s  {run_text}  CPU {cpu_med:8.3f} s  "
                      f"{peaks[name] / 1024:7.1f} MiB", flush=True)

        def ours(src, sync=False):
            return [("zentrel window", lambda dst: zentrel("window", display, src, dst, sync)),
                    ("zentrel engine", lambda dst: zentrel("engine", display, src, dst, sync)),
                    ("zentrel-run", lambda dst: zentrel_cli(src, dst, sync))]

        def rsync(src):
            return ("rsync -a", lambda dst: timed(["rsync", "-a", src + "/", dst + "/"]))

        small_bytes = tree_bytes(small)

        # 1. Full copy into an empty target.
        run_case("full copy, small files",
                 ours(small) + [("cp -a", lambda dst: timed(["cp", "-a", small, dst])), rsync(small)],
                 prepare=lambda dst: None, verify=lambda dst: check_equal(small, dst), result_bytes=small_bytes)

        # 2. Re-run where nothing changed.
        run_case("re-run, nothing changed", ours(small) + [rsync(small)],
                 prepare=lambda dst: copy_tree(small, dst), verify=lambda dst: check_equal(small, dst),
                 result_bytes=small_bytes)

        # 3. Re-run after 10 % of the files changed.
        run_case("re-run, 10% changed",
                 ours(changed) + [("cp -a", lambda dst: timed(["cp", "-a", changed + "/.", dst])), rsync(changed)],
                 prepare=lambda dst: copy_tree(small, dst), verify=lambda dst: check_equal(changed, dst),
                 result_bytes=small_bytes)

        # 4. Synchronisation of two trees, each with 5 % newer files. The
        # target given to a tool is side b; side a lies beside it.
        expected = {}

        def side_a(dst):
            return os.path.join(os.path.dirname(dst), "side_a")

        def prepare_sync(dst):
            copy_tree(small, side_a(dst))
            copy_tree(small, dst)
            change_files(side_a(dst), 0.05, seed=5, stamp=NEW_TIME)
            change_files(dst, 0.05, seed=7, stamp=NEW_TIME + 1)
            if not expected:
                expected.update(newest_versions(side_a(dst), dst))

        def rsync_both_ways(dst):
            s1, _, p1, c1 = timed(["rsync", "-au", side_a(dst) + "/", dst + "/"])
            s2, _, p2, c2 = timed(["rsync", "-au", dst + "/", side_a(dst) + "/"])
            return s1 + s2, None, max(p1, p2), c1 + c2

        run_case("synchronise, 5% newer each",
                 [("zentrel window", lambda dst: zentrel("window", display, side_a(dst), dst, sync=True)),
                  ("zentrel engine", lambda dst: zentrel("engine", display, side_a(dst), dst, sync=True)),
                  ("zentrel-run", lambda dst: zentrel_cli(side_a(dst), dst, sync=True)),
                  ("rsync -au twice", rsync_both_ways)],
                 prepare=prepare_sync, verify=lambda dst: check_synchronised(side_a(dst), dst, expected),
                 result_bytes=2 * small_bytes)

        # 5. Large files.
        if not args.skip_large:
            large = os.path.join(work, "large")
            make_large_tree(large)
            run_case("full copy, 20 x 64 MiB",
                     ours(large) + [("cp -a", lambda dst: timed(["cp", "-a", large, dst])), rsync(large)],
                     prepare=lambda dst: None, verify=lambda dst: check_equal(large, dst),
                     result_bytes=tree_bytes(large), settle=True)
            remove(large)

        # 6. Peak memory against the size of the tree: a small tree, then one
        # folder as large as a user's photo or mail archive gets. One run of
        # each tool: the peak hardly varies.
        if args.memory:
            for count, folders, depth in ((2000, 20, 10), (200000, 1, 1)):
                tree = os.path.join(work, f"tree{count}")
                make_small_tree(tree, count, folders=folders, depth=depth)
                where = "one folder" if folders == 1 else f"{folders} folders"
                run_case(f"memory, {count} files in {where}",
                         ours(tree) + [("cp -a", lambda dst: timed(["cp", "-a", tree, dst])), rsync(tree)],
                         prepare=lambda dst: None, verify=lambda dst: check_equal(tree, dst),
                         result_bytes=tree_bytes(tree), repeat=1)
                remove(tree)
        calls = None
        if args.calls:
            calls = subprocess.run([sys.executable, os.path.join(HERE, "count_calls.py"), "--work",
                                    os.path.join(work, "calls"), "--build", args.build],
                                   check=True, capture_output=True, text=True).stdout
        report(rows, work, args.append, calls)
    finally:
        display.close()


def report(rows, work, append, calls=None):
    by_case = {}
    for case, tool, seconds, run_seconds, peak, cpu_seconds in rows:
        by_case.setdefault(case, {})[tool] = (seconds, run_seconds, peak, cpu_seconds)
    fs = subprocess.run(["df", "-T", work], capture_output=True, text=True).stdout.splitlines()[-1].split()[1]
    cpu = "unknown processor"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    bus = "a session bus of its own for the run" if os.environ.get("DBUS_SESSION_BUS_ADDRESS") else "no session bus"
    large = {None: "", True: " Before each large-file run: sync and dropped page cache.",
             False: " Before each large-file run: sync (dropping the page cache was not allowed)."}
    machine = (f"Date: {datetime.date.today().isoformat()}. Machine: {os.cpu_count()} cores ({cpu}), "
               f"Linux {os.uname().release}, file system {fs} (work folder {work}), warm page cache, "
               f"{bus}.{large[CACHE_DROPS['allowed']]}")
    lines = [f"## File system {fs}", "", machine, ""] if append else [
        "# Benchmark results",
        "",
        machine,
        "",
        "Medians of alternating runs. Every result was checked before its time counted: the same files and "
        "folders as the source, no leftovers, each file with equal content, size, mode and modification time "
        "(a synchronisation: both sides hold the newer version of every file).",
        "",
        "Every run had a target of its own, all prepared before the first timed run of the case and "
        "removed after the last. **CPU s** is user plus system time of the process and its children.",
        "",
        "Two times for Zentrel:",
        "",
        "- **process s**: the whole process, from its start to its exit, as for cp and rsync. For the window "
        "this includes starting Qt and opening the window, a one-time cost of opening the program that a "
        "person pays once per session, not per copy.",
        "- **run s**: the copy job alone, as the runner measures it with a steady clock: from the Start "
        "click to its return (window, which includes the evaluation pass before the copy) or around the "
        "job's start (engine). cp, rsync and zentrel-run (the command line) have no such split; their run "
        "ratios compare against their process time.",
        "",
    ]
    lines += [
        "| case | tool | process s | run s | CPU s | peak MiB | process / cp -a | run / cp -a "
        "| process / rsync | run / rsync |",
        "|---|---|---|---|---|---|---|---|---|---|",
    ]
    for case, tools in by_case.items():
        cp = tools.get("cp -a", (None,))[0]
        rs = (tools.get("rsync -a") or tools.get("rsync -au twice") or (None,))[0]

        def ratio(value, base):
            return f"{value / base:.2f}" if value is not None and base else ""

        for tool, (seconds, run_seconds, peak, cpu_seconds) in tools.items():
            run_text = f"{run_seconds:.3f}" if run_seconds is not None else ""
            lines.append(f"| {case} | {tool} | {seconds:.3f} | {run_text} | {cpu_seconds:.3f} | {peak / 1024:.1f} "
                         f"| {ratio(seconds, cp)} | {ratio(run_seconds, cp)} "
                         f"| {ratio(seconds, rs)} | {ratio(run_seconds, rs)} |")
    if calls:
        table = [line for line in calls.splitlines() if line.startswith("|")]
        details = [line for line in calls.splitlines() if line and not line.startswith("|")]
        lines += ["", "System calls per file, counted with strace -f (bench/count_calls.py):", ""] + table
        lines += ["", "```"] + details + ["```"]
    text = "\n".join(lines) + "\n"
    print()
    print(text)
    path = os.path.join(HERE, "RESULTS.md")
    if append:
        with open(path, "a") as f:
            f.write("\n" + text)
    else:
        with open(path, "w") as f:
            f.write(text)


if __name__ == "__main__":
    sys.exit(main())
