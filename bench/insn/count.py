#!/usr/bin/env python3
"""Exact instruction counts of the plug-in in zephrel-bench: its own instructions per frame (sky trails off and
on) and per hooked call, and what a hooked call costs over the host's own call. Counted, not timed.

Where i386 programs run natively it uses valgrind's callgrind; elsewhere qemu-i386 with the TCG plug-in
insn_count.so (built from insn_count.c beside this script). Either way zephrel-bench cuts its run at
zephrel_count_mark(), before and after every timed run, and writes where the plug-in lies (--count-range).

  count.py --bench PATH [--build so|dll] [--rules main|eight] [--frames N] [--calls N] [--native 0|1]
           [--counter insn_count.so] [--budget-frame N] [--budget-call N]

Exit status 1 when a count is above its budget or the benchmark failed."""
import argparse
import bisect
import glob
import os
import re
import subprocess
import sys
import tempfile

# The phases of one `zephrel-bench --build X --runs 1` run, numbered from 0 at the start; the odd ones are the
# timed runs (a mark before and after each).
HOST_FRAMES_SKY_OFF, UNHOOKED_CALLS, PLUGIN_FRAMES_SKY_OFF, HOOKED_CALLS = 1, 3, 5, 7
HOST_FRAMES_SKY_ON, PLUGIN_FRAMES_SKY_ON = 9, 11


def read_range(path):
    with open(path) as f:
        lo, hi = (int(word, 16) for word in f.read().split())
    return lo, hi


def count_with_qemu(args, work):
    out, rng = os.path.join(work, "phases.txt"), os.path.join(work, "range.txt")
    run = ["qemu-i386", "-plugin", f"{args.counter},out={out},range={rng}", args.bench, "--build", args.build,
           "--rules", args.rules, "--frames", str(args.frames), "--calls", str(args.calls), "--runs", "1",
           "--count-range", rng]
    subprocess.run(run, check=True, stdout=subprocess.DEVNULL)
    phases = {}
    for line in open(out):
        m = re.match(r"phase (\d+) total (\d+) inside (\d+)", line)
        if m:
            phases[int(m[1])] = (int(m[2]), int(m[3]))
    return phases


def callgrind_phase(path, lo, hi, where=None):
    """(all instructions, those at addresses in [lo, hi)) of one callgrind dump made with --dump-instr=yes;
    `where`, when given, gets the instructions inside by address."""
    total = inside = 0
    address = 0
    skip_next = False  # the cost line after calls= is the call's inclusive cost, not this function's own
    for line in open(path):
        if line.startswith("calls="):
            skip_next = True
            continue
        m = re.match(r"^(0x[0-9a-fA-F]+|[+-]\d+|\*)\s+(\d+)", line)
        if not m:
            continue
        pos, cost = m[1], int(m[2])
        if pos.startswith("0x"):
            address = int(pos, 16)
        elif pos != "*":
            address += int(pos)
        if skip_next:
            skip_next = False
            continue
        total += cost
        if lo <= address < hi:
            inside += cost
            if where is not None:
                where[address - lo] = where.get(address - lo, 0) + cost
    return total, inside


def count_with_callgrind(args, work):
    rng = os.path.join(work, "range.txt")
    out = os.path.join(work, "callgrind.out")
    run = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", "--dump-instr=yes", "--dump-line=no",
           "--compress-pos=no", "--dump-before=zephrel_count_mark", args.bench, "--build", args.build,
           "--rules", args.rules, "--frames", str(args.frames), "--calls", str(args.calls), "--runs", "1",
           "--count-range", rng]
    subprocess.run(run, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    lo, hi = read_range(rng)
    dumps = sorted(glob.glob(out + ".*"), key=lambda p: int(p.rsplit(".", 1)[1]))
    dumps += [out] if os.path.exists(out) else []
    phases = {}
    for i, path in enumerate(dumps):
        where = {} if args.functions and i in (PLUGIN_FRAMES_SKY_OFF, HOOKED_CALLS) else None
        phases[i] = callgrind_phase(path, lo, hi, where)
        if where is not None:
            print_functions(args, where, *(("frame", args.frames) if i == PLUGIN_FRAMES_SKY_OFF else
                                           ("hooked call", args.calls)))
    return phases


def print_functions(args, where, what, rounds):
    """The plug-in's own instructions per frame (sky trails off) or hooked call, by function, from the symbols
    of the image file given with --functions (the DLL as linked, or the Linux library)."""
    nm = "i686-w64-mingw32-nm" if args.build == "dll" else "nm"
    english = dict(os.environ, LC_ALL="C")  # the tools' words are read
    symbols = []
    listing = subprocess.run([nm, "-C", "-n", args.functions], capture_output=True, text=True, env=english)
    for line in listing.stdout.splitlines():
        m = re.match(r"^([0-9a-f]{8}) [tT] (.*)$", line)
        if m:
            symbols.append((int(m[1], 16), m[2]))
    # Offsets from the image's start: the DLL's symbols are at its preferred base plus 0x1000 for .text and
    # so on, which its first symbol's page does not tell; take the image base from the headers.
    base = 0
    if args.build == "dll":
        head = subprocess.run(["i686-w64-mingw32-objdump", "-p", args.functions], capture_output=True, text=True,
                              env=english)
        base = int(re.search(r"ImageBase\s+([0-9a-f]+)", head.stdout)[1], 16)
    starts = [a - base for a, _ in symbols]
    by_function = {}
    for offset, cost in where.items():
        i = bisect.bisect_right(starts, offset) - 1
        name = symbols[i][1] if i >= 0 else "?"
        by_function[name] = by_function.get(name, 0) + cost
    print(f"  by function, per {what}:")
    for name, cost in sorted(by_function.items(), key=lambda item: -item[1])[:12]:
        print(f"    {cost / rounds:12,.1f}  {name[:100]}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bench", required=True)
    ap.add_argument("--build", choices=("so", "dll"), default="dll")
    ap.add_argument("--rules", choices=("main", "eight"), default="main",
                    help="the shipped file's rules, or eight of each with ribbons (zephrel-bench --rules)")
    ap.add_argument("--frames", type=int, default=60)
    ap.add_argument("--calls", type=int, default=1000)
    ap.add_argument("--native", choices=("0", "1"), help="i386 programs run natively (default: ask the kernel)")
    ap.add_argument("--counter", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "insn_count.so"))
    ap.add_argument("--functions", help="callgrind only: the image with symbols, to list the costliest functions")
    ap.add_argument("--budget-frame", type=float)
    ap.add_argument("--budget-call", type=float)
    args = ap.parse_args()
    native = args.native == "1" if args.native else os.uname().machine in ("i386", "i686")

    with tempfile.TemporaryDirectory() as work:
        phases = (count_with_callgrind if native else count_with_qemu)(args, work)
    if len(phases) < 12:
        sys.exit(f"count.py: the benchmark ran {len(phases)} phases, expected 13")

    def per(phase, n, inside=True):
        return phases[phase][1 if inside else 0] / n

    frame_off = per(PLUGIN_FRAMES_SKY_OFF, args.frames)
    frame_on = per(PLUGIN_FRAMES_SKY_ON, args.frames)
    call_inside = per(HOOKED_CALLS, args.calls)
    hook_adds = per(HOOKED_CALLS, args.calls, False) - per(UNHOOKED_CALLS, args.calls, False)
    rules = "eight rules of each kind, ribbons" if args.rules == "eight" else "the shipped rules"
    print(f"{'callgrind' if native else 'qemu-i386 + insn_count'}: the plug-in ({args.build}, {rules}) over "
          f"{args.frames} frames of 50 aircraft and {args.calls} calls, instructions counted exactly")
    print(f"  plug-in's own instructions per frame, sky trails off: {frame_off:12,.1f}")
    print(f"  plug-in's own instructions per frame, sky trails on:  {frame_on:12,.1f}")
    print(f"  per hooked call, in the plug-in:                      {call_inside:12,.1f}")
    print(f"  a hooked call over an unhooked one, all code:         {hook_adds:+12,.1f}")
    failed = False
    for name, value, budget in (("a frame, sky trails off", frame_off, args.budget_frame),
                                ("a hooked call over an unhooked one", hook_adds, args.budget_call)):
        if budget is not None and value > budget:
            print(f"count.py: {name} costs {value:,.1f} instructions, over the budget of {budget:,.0f}",
                  file=sys.stderr)
            failed = True
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
