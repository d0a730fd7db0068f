#!/usr/bin/env python3
"""Mutation testing of the library: do the tests notice a planted fault?

Each line of the mutation list (default scripts/mutations.txt) names a
snippet of source text and its replacement:

    if (x < 1) return report(-90); => if (x < 0) return report(-90);
    if (x) return report(-90); =>

The snippet is looked up by text in every file under src/, not by file or
line, so the list keeps working when code moves between files. A snippet
found nowhere is reported as "gone", one found more than once as
"ambiguous"; both are skipped. Blank lines and lines starting with '#' are
ignored. The replacement is everything after the first " => " (a line
ending in " =>" deletes the snippet).

For each mutant the script writes the mutated file, rebuilds the native
Debug build incrementally (ninja -j1 in build-mutate/ by default, configured
on first use), runs the test executables with ctest (each test killed after
--timeout seconds: a mutant that hangs counts as caught), restores the file
(also on Ctrl-C or any error) and prints one line: which ctest test (and
GoogleTest cases) caught it, "survived" or "did not compile". The summary
gives mutants applied, compiled, caught, survived and the score
caught / compiled.

Usage (from anywhere in the repository):

    python3 scripts/mutate.py                    # the whole list
    python3 scripts/mutate.py --only 3,10-12     # by index (as printed)
    python3 scripts/mutate.py --only records_end # by substring of the line
    python3 scripts/mutate.py --check            # resolve the snippets only
    python3 scripts/mutate.py --jobs 2 --timeout 60 --build-dir build-mutate \\
        --list scripts/mutations.txt --log mutants.jsonl

--jobs is ctest's parallelism (default 2); the build always runs with one
job. --log writes one JSON object per mutant, with every failing test case.
The tests sync each file they commit: a build directory on a tmpfs
(--build-dir /dev/shm/recbase-mutate) makes a run several times faster.
Run it on a clean tree: it edits src/ in place while it runs.
"""

import argparse
import json
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SEPARATOR = " => "
GTEST_FAILED = re.compile(r"^\[  FAILED  \] (\S+\.\S+)", re.M)
GTEST_RUN = re.compile(r"^\[ RUN      \] (\S+)", re.M)
GTEST_ENDED = re.compile(r"^\[ +(?:OK|FAILED|SKIPPED) +\] (\S+)", re.M)
CTEST_FAILED = re.compile(r"^\s*\d+ - (\S+) \(([^)]*)\)", re.M)


class Mutation:
    def __init__(self, index, line_no, snippet, replacement):
        self.index = index
        self.line_no = line_no
        self.snippet = snippet
        self.replacement = replacement
        self.path = None  # the one file holding the snippet
        self.offset = -1
        self.status = None  # gone / ambiguous until resolved

    def text(self):
        return f"{self.snippet}{SEPARATOR}{self.replacement}".rstrip()


def read_list(path):
    mutations = []
    for line_no, raw in enumerate(path.read_text().splitlines(), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        if line.endswith(SEPARATOR.rstrip()) and SEPARATOR not in line:
            snippet, replacement = line[: -len(SEPARATOR.rstrip())], ""
        elif SEPARATOR in line:
            snippet, replacement = line.split(SEPARATOR, 1)
        else:
            sys.exit(f"{path}:{line_no}: no '{SEPARATOR.strip()}' in: {line}")
        snippet = snippet.strip()
        if not snippet:
            sys.exit(f"{path}:{line_no}: empty snippet")
        mutations.append(Mutation(len(mutations) + 1, line_no, snippet, replacement.strip()))
    return mutations


def resolve(mutations, src):
    sources = {p: p.read_text() for p in sorted(src.rglob("*")) if p.suffix in (".cpp", ".h")}
    for m in mutations:
        hits = [(p, t.find(m.snippet)) for p, t in sources.items() if m.snippet in t]
        count = sum(t.count(m.snippet) for t in sources.values())
        if count == 0:
            m.status = "gone"
        elif count > 1:
            m.status = "ambiguous"
        else:
            m.path, m.offset = hits[0]


def select(mutations, only):
    if not only:
        return mutations
    chosen = []
    for part in only.split(","):
        part = part.strip()
        if re.fullmatch(r"\d+", part):
            chosen += [m for m in mutations if m.index == int(part)]
        elif re.fullmatch(r"\d+-\d+", part):
            low, high = map(int, part.split("-"))
            chosen += [m for m in mutations if low <= m.index <= high]
        else:
            chosen += [m for m in mutations if part in m.text()]
    seen = set()
    return [m for m in chosen if not (m.index in seen or seen.add(m.index))]


def run(cmd, timeout=None):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace", timeout=timeout)


def configure(build):
    if (build / "build.ninja").exists():
        return
    r = run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
             "-DCMAKE_BUILD_TYPE=Debug"])
    if r.returncode != 0:
        sys.exit("cmake failed:\n" + r.stdout)


def build_ok(build):
    return run(["ninja", "-C", str(build), "-j1"]).returncode == 0


def clear_workdirs(build):
    """Empties the tests' working directories: no file a crashed test left
    behind (a journal, a half-written database) reaches the next run."""
    work = build / "testwork"
    if not work.is_dir():
        return
    for area in work.iterdir():
        if not area.is_dir():
            continue
        for entry in area.iterdir():
            if entry.is_dir() and not entry.is_symlink():
                shutil.rmtree(entry, ignore_errors=True)
            else:
                entry.unlink(missing_ok=True)


def run_tests(build, jobs, timeout):
    """Returns {ctest test: reason} of the failing tests and the failing
    GoogleTest cases."""
    clear_workdirs(build)
    r = run(["ctest", "--test-dir", str(build), "-j", str(jobs), "--timeout", str(timeout),
             "--output-on-failure"])
    failed = {}
    if r.returncode != 0:
        tail = r.stdout.split("The following tests FAILED:")[-1]
        failed = {name: reason for name, reason in CTEST_FAILED.findall(tail)}
        if not failed:
            failed = {"ctest": f"exit {r.returncode}"}
    # A case that started and never ended crashed or hung its executable.
    unfinished = set(GTEST_RUN.findall(r.stdout)) - set(GTEST_ENDED.findall(r.stdout))
    cases = sorted(set(GTEST_FAILED.findall(r.stdout)) | unfinished)
    return failed, cases


def describe(m):
    line = m.path.read_text()[: m.offset].count("\n") + 1
    return f"{m.path.relative_to(ROOT)}:{line}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", type=Path, default=ROOT / "scripts" / "mutations.txt")
    parser.add_argument("--only", help="indices (3,10-12) or substrings of the lines")
    parser.add_argument("--jobs", type=int, default=2, help="ctest parallelism (default 2)")
    parser.add_argument("--timeout", type=int, default=60, help="seconds per test (default 60)")
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build-mutate")
    parser.add_argument("--log", type=Path, help="write one JSON line per mutant here")
    parser.add_argument("--check", action="store_true", help="only resolve the snippets")
    parser.add_argument("--no-baseline", action="store_true",
                        help="skip the run of the unmutated tests")
    args = parser.parse_args()
    # A kill ends the run like Ctrl-C: the mutated file is restored first.
    signal.signal(signal.SIGTERM, signal.default_int_handler)

    mutations = read_list(args.list)
    resolve(mutations, ROOT / "src")
    chosen = select(mutations, args.only)
    width = len(str(len(mutations)))

    if args.check:
        for m in chosen:
            where = describe(m) if m.path else m.status
            print(f"#{m.index:>{width}} {where}: {m.text()}")
        bad = [m for m in chosen if m.status]
        print(f"{len(chosen)} mutations, {len(bad)} gone or ambiguous")
        return 1 if bad else 0

    build = args.build_dir.resolve()
    configure(build)
    if not build_ok(build):
        sys.exit(f"the unmutated tree does not build in {build}")
    if not args.no_baseline:
        failed, _ = run_tests(build, args.jobs, args.timeout)
        if failed:
            sys.exit(f"the unmutated tests fail: {', '.join(failed)}")

    counts = dict(applied=0, compiled=0, caught=0, survived=0, gone=0, ambiguous=0)
    survivors = []
    log = args.log.open("w") if args.log else None
    started = time.time()
    try:
        for m in chosen:
            if m.status:
                counts[m.status] += 1
                print(f"#{m.index:>{width}} {m.status}: {m.text()}", flush=True)
                continue
            original = m.path.read_text()
            where = describe(m)
            mutated = original[: m.offset] + m.replacement + original[m.offset + len(m.snippet):]
            counts["applied"] += 1
            t0 = time.time()
            try:
                m.path.write_text(mutated)
                compiled = build_ok(build)
                failed, cases = run_tests(build, args.jobs, args.timeout) if compiled else ({}, [])
            finally:
                m.path.write_text(original)
            if not compiled:
                verdict = "did not compile"
            elif failed:
                counts["compiled"] += 1
                counts["caught"] += 1
                tests = ", ".join(f"{n}" + ("" if r == "Failed" else f" ({r})")
                                  for n, r in sorted(failed.items()))
                shown = " [" + " ".join(cases[:3]) + (" ..." if len(cases) > 3 else "") + "]"
                verdict = "caught by " + tests + (shown if cases else "")
            else:
                counts["compiled"] += 1
                counts["survived"] += 1
                survivors.append(m)
                verdict = "SURVIVED"
            print(f"#{m.index:>{width}} {where} {verdict} ({time.time() - t0:.0f} s): {m.text()}",
                  flush=True)
            if log:
                log.write(json.dumps(dict(index=m.index, where=where, mutation=m.text(),
                                          compiled=compiled, failed=failed, cases=cases)) + "\n")
                log.flush()
    except KeyboardInterrupt:
        print("interrupted: every file is restored", flush=True)
    finally:
        if log:
            log.close()

    score = counts["caught"] / counts["compiled"] if counts["compiled"] else 0.0
    print(f"\n{len(chosen)} mutations in {time.time() - started:.0f} s: "
          f"{counts['applied']} applied, {counts['compiled']} compiled, "
          f"{counts['caught']} caught, {counts['survived']} survived, "
          f"{counts['applied'] - counts['compiled']} did not compile, "
          f"{counts['gone']} gone, {counts['ambiguous']} ambiguous")
    print(f"score = caught / compiled = {counts['caught']}/{counts['compiled']} = {score:.1%}")
    if survivors:
        print("survivors: " + " ".join(f"#{m.index}" for m in survivors))
    return 0


if __name__ == "__main__":
    sys.exit(main())
