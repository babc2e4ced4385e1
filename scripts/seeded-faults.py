#!/usr/bin/env python3
"""Plants one-line faults in the product, one at a time, and counts how many
the test suite catches.

    scripts/seeded-faults.py [--build DIR] [--only ID,ID] [--tests REGEX]
                             [--list FILE ...] [--keep-going] [--resume]

Each fault of the lists (scripts/faults/*.txt unless --list is given) is
applied to a scratch checkout of the current commit (a git worktree beside this one, named
after it with "-faults", made on first use), the tree is rebuilt incrementally and
the suite runs under scripts/with-session.sh, stopping at its first failure:
first the tests of the faulty file's own folder (CTest label), then the rest.
A fault is "caught" when a test fails, "missed" when the suite passes, and
"invalid" when the tree no longer builds or the fault's text is not found
exactly once. The table goes to stdout and to BUILD/seeded-faults.tsv.

Fault list format, one block per fault:

    == p2p-io-queue-bound
    file: p2p/p2psession.cpp
    - if (ch.io.size() >= 1024)
    + if (ch.io.size() > 1024)

The "-" text must occur exactly once in the file (whitespace included, after
the leading "- "); it is replaced by the "+" text. Several "-"/"+" pairs in
one block are one fault.
"""

import argparse
import glob
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(path):
    faults = []
    cur = None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("== "):
                cur = {"id": line[3:].strip(), "file": None, "pairs": [], "src": path}
                faults.append(cur)
            elif cur is None or not line.strip() or line.startswith("#"):
                continue
            elif line.startswith("file: "):
                cur["file"] = line[6:].strip()
            elif line.startswith("- "):
                cur["pairs"].append([line[2:], None])
            elif line.startswith("+ ") or line == "+":
                if not cur["pairs"] or cur["pairs"][-1][1] is not None:
                    sys.exit(f"{path}: '+' without '-' in {cur['id']}")
                cur["pairs"][-1][1] = line[2:]
    for fault in faults:
        if not fault["file"] or not fault["pairs"] or any(p[1] is None for p in fault["pairs"]):
            sys.exit(f"{path}: incomplete fault {fault['id']}")
    return faults


def run(cmd, cwd, log, timeout=None):
    with open(log, "a") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        try:
            return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            out.write("(time-out)\n")
            return 124


def failed_tests(log):
    names = []
    with open(log, errors="replace") as f:
        for line in f:
            m = re.search(r"Test\s+#\d+:\s+(\S+)\s+\.+\*+(Failed|Timeout|Exception)", line)
            if m:
                names.append(m.group(1))
            m = re.search(r"Test\s+#\d+:\s+(\S+)\s+\.+\s*(Subprocess aborted|\*\*\*Timeout|Exit code)", line)
            if m and m.group(1) not in names:
                names.append(m.group(1))
    return names


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=None, help="build folder inside the scratch checkout")
    ap.add_argument("--worktree", default=ROOT.rstrip("/") + "-faults")
    ap.add_argument("--list", nargs="*", default=None)
    ap.add_argument("--only", default="")
    ap.add_argument("--tests", default="", help="ctest -R regex (default: the whole suite)")
    ap.add_argument("--keep-going", action="store_true", help="run the whole suite for every fault")
    ap.add_argument("--resume", action="store_true", help="keep the verdicts already in the table")
    ap.add_argument("--timeout", type=int, default=1800, help="seconds for one fault's test run")
    args = ap.parse_args()

    lists = args.list or sorted(glob.glob(os.path.join(ROOT, "scripts", "faults", "*.txt")))
    faults = [f for path in lists for f in parse(path)]
    if args.only:
        wanted = set(args.only.split(","))
        faults = [f for f in faults if f["id"] in wanted]
    if not faults:
        sys.exit("no faults")

    wt = args.worktree
    head = subprocess.check_output(["git", "rev-parse", "HEAD"], cwd=ROOT, text=True).strip()
    if not os.path.isdir(wt):
        subprocess.check_call(["git", "worktree", "add", "--detach", wt, head], cwd=ROOT)
    else:
        subprocess.check_call(["git", "checkout", "-q", "--detach", head], cwd=wt)
    subprocess.check_call(["git", "checkout", "-q", "--", "."], cwd=wt)
    build = args.build or os.path.join(wt, "build-faults")
    logdir = os.path.join(build, "seeded-faults")
    os.makedirs(logdir, exist_ok=True)

    env_log = os.path.join(logdir, "baseline.log")
    if os.path.exists(env_log):
        os.remove(env_log)
    # The benchmarks are left out: no fault is looked for there.
    os.environ.setdefault("CCACHE_BASEDIR", wt)
    configure = ["cmake", "-S", wt, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug", "-DVC_BUILD_BENCH=OFF"]
    if run(configure, wt, env_log) != 0 or run(["cmake", "--build", build, "-j2"], wt, env_log) != 0:
        sys.exit(f"the unchanged tree does not build; see {env_log}")

    ctest = ["ctest", "--test-dir", build, "-j2", "--timeout", "300", "--output-on-failure"]
    if not args.keep_going:
        ctest.append("--stop-on-failure")
    if args.tests:
        ctest += ["-R", args.tests]
    session = os.path.join(wt, "scripts", "with-session.sh")

    results = []
    tsv = os.path.join(build, "seeded-faults.tsv")
    done = {}
    if args.resume and os.path.exists(tsv):
        with open(tsv) as f:
            for line in f:
                cols = line.rstrip("\n").split("\t")
                if len(cols) == 4 and cols[1] in ("caught", "missed"):
                    done[cols[0]] = (cols[0], cols[1], cols[2], float(cols[3]))
    for fault in faults:
        if fault["id"] in done:
            results.append(done[fault["id"]])
            continue
        path = os.path.join(wt, fault["file"])
        log = os.path.join(logdir, fault["id"] + ".log")
        if os.path.exists(log):
            os.remove(log)
        verdict, tests, seconds = "invalid", [], 0.0
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except OSError:
            text = None
        ok = text is not None
        for old, new in fault["pairs"] if ok else []:
            if text.count(old) != 1:
                ok = False
                break
            text = text.replace(old, new)
        if ok:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            start = time.time()
            if run(["cmake", "--build", build, "-j2"], wt, log) == 0:
                # The folder's own tests first: most faults end there, early.
                label = fault["file"].split("/")[0]
                if args.tests or args.keep_going:
                    tiers = [[]]
                else:
                    tiers = [["-L", "^" + label + "$"], ["-LE", "^" + label + "$"]]
                rc = 0
                for tier in tiers:
                    rc = run([session] + ctest + tier, wt, log, timeout=args.timeout)
                    if rc != 0:
                        break
                verdict = "caught" if rc != 0 else "missed"
                tests = failed_tests(log)
            seconds = time.time() - start
            subprocess.check_call(["git", "checkout", "-q", "--", fault["file"]], cwd=wt)
        results.append((fault["id"], verdict, ",".join(tests), seconds))
        print(f"{fault['id']:<40} {verdict:<8} {seconds:6.0f}s {','.join(tests)}", flush=True)
        with open(tsv, "w") as out:
            for r in results:
                out.write("%s\t%s\t%s\t%.0f\n" % r)
    # Leave the scratch tree built as it was.
    run(["cmake", "--build", build, "-j2"], wt, env_log)

    valid = [r for r in results if r[1] != "invalid"]
    caught = sum(1 for r in valid if r[1] == "caught")
    print(f"\n{caught} of {len(valid)} caught", end="")
    if valid:
        print(f" ({100.0 * caught / len(valid):.0f} %)", end="")
    invalid = len(results) - len(valid)
    print(f"; {invalid} invalid" if invalid else "")


if __name__ == "__main__":
    main()
