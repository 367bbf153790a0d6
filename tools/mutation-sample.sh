#!/usr/bin/env bash
# Samples small deliberate faults (mutants) in the given source files or folders, one at a time:
# a comparison flipped, a bound moved by one, a constant nudged, two arguments swapped, a logical
# operator exchanged, a line that resets state dropped. Each mutant is built and the native tests
# are run against it; a mutant the tests fail on is caught, one they pass is a gap in the tests.
# The source is restored after each mutant, and on any exit.
#
# Usage: tools/mutation-sample.sh [--count N] [--seed S] [--build DIR] [--list] [--only ID]...
#                                 PATH...
#   --count N   mutants to sample across the paths (default 20)
#   --seed S    sampling seed, so a run can be repeated (default 1)
#   --build DIR configured build folder to rebuild and test (default build/native)
#   --list      print the sampled mutants without running them
#   --only ID   run just this mutant (an ID printed by --list), may repeat
# Prints each mutant as caught, survived or unbuilt, then the score per folder. A mutant in a file
# the build folder does not compile (the Windows-only sources in a Linux build) is reported as
# uncompiled and left out of the score: no test could catch it there. Exit 0.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "$@" <<'PYTHON'
import argparse, os, random, re, shutil, signal, subprocess, sys, tempfile, time
from collections import defaultdict

parser = argparse.ArgumentParser(prog="mutation-sample.sh")
parser.add_argument("--count", type=int, default=20)
parser.add_argument("--seed", type=int, default=1)
parser.add_argument("--build", default="build/native")
parser.add_argument("--list", action="store_true")
parser.add_argument("--only", action="append", default=[])
parser.add_argument("paths", nargs="+")
options = parser.parse_args()

def source_files(paths):
    found = []
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in os.walk(path):
                found += [os.path.join(folder, n) for n in names if n.endswith((".cpp", ".h"))]
        elif os.path.isfile(path):
            found.append(path)
        else:
            sys.exit(f"mutation-sample: no such file or folder: {path}")
    return sorted(os.path.normpath(f) for f in found)

# Each rule: a name, a pattern on the code part of a line, and what the match becomes. Binary
# operators are spaced by the formatter, so " < " is a comparison and never a template bracket.
SWAPS = [(" < ", " <= "), (" <= ", " < "), (" > ", " >= "), (" >= ", " > "),
         (" == ", " != "), (" != ", " == "), (" && ", " || "), (" || ", " && "),
         (" + ", " - "), (" - ", " + ")]
RESET_LINE = re.compile(
    r"^\s*[\w.\[\]>-]+(\s*=\s*(0|0\.0f?|0\.0|false|true|nullptr|\{\})|(\.|->)(reset|clear)\(\));\s*$")
INTEGER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
FLOATING = re.compile(r"(?<![\w.])(\d+\.\d*)(f?)(?![\w.])")
TWO_ARGUMENTS = re.compile(r"\b(\w+)\(([\w.]+(?:\[\w+\])?), ([\w.]+(?:\[\w+\])?)\)")

def code_part(line):
    """The part of a line that is code: no line comment, no string literal contents."""
    cut = line.split("//", 1)[0]
    return cut

def skipped(line):
    stripped = line.strip()
    return (not stripped or stripped.startswith(("#", "//", "*", "/*", "static_assert"))
            or '"' in line or "'" in line or "template" in line or "operator" in line)

def mutants_of(path):
    with open(path, encoding="utf-8") as handle:
        lines = handle.read().split("\n")
    found = []
    for number, line in enumerate(lines):
        if skipped(line):
            continue
        code = code_part(line)
        for old, new in SWAPS:
            start = code.find(old)
            while start >= 0:
                found.append((number, start, old, new, f"'{old.strip()}' -> '{new.strip()}'"))
                start = code.find(old, start + 1)
        for match in INTEGER.finditer(code):
            value = int(match.group(1))
            found.append((number, match.start(), match.group(0), str(value + 1),
                          f"{value} -> {value + 1}"))
        for match in FLOATING.finditer(code):
            value = float(match.group(1))
            nudged = repr(value * 1.05 if value else 0.01)
            found.append((number, match.start(), match.group(0), nudged + match.group(2),
                          f"{match.group(0)} -> {nudged}{match.group(2)}"))
        for match in TWO_ARGUMENTS.finditer(code):
            if match.group(2) == match.group(3):
                continue
            swapped = f"{match.group(1)}({match.group(3)}, {match.group(2)})"
            found.append((number, match.start(), match.group(0), swapped,
                          f"arguments of {match.group(1)} swapped"))
        if RESET_LINE.match(code) and not re.match(r"^\s*(return|const|auto|int|float|double|bool)\b", code):
            # An empty block in its place: as the only statement under an if without
            # braces, a blank line would hand the if the statement after it instead.
            indent = code[:len(code) - len(code.lstrip())]
            found.append((number, 0, code, indent + "{}", "line dropped: " + code.strip()))
    return [(path, *m) for m in found]

def identifier(mutant):
    path, number, column, _, _, _ = mutant
    return f"{path}:{number + 1}:{column + 1}"

def apply(mutant, original):
    path, number, column, old, new, _ = mutant
    lines = original.split("\n")
    line = lines[number]
    assert line[column:column + len(old)] == old
    lines[number] = line[:column] + new + line[column + len(old):]
    return "\n".join(lines)

files = source_files(options.paths)
candidates = [m for f in files for m in mutants_of(f)]
if options.only:
    wanted = set(options.only)
    sample = [m for m in candidates if identifier(m) + ":" + m[5] in wanted or identifier(m) in wanted]
else:
    # Spread the sample over the files first, then over the sites within a file, so a large
    # file does not take every mutant.
    generator = random.Random(options.seed)
    by_file = defaultdict(list)
    for m in candidates:
        by_file[m[0]].append(m)
    for sites in by_file.values():
        generator.shuffle(sites)
    order = list(by_file)
    generator.shuffle(order)
    sample = []
    while len(sample) < options.count and any(by_file.values()):
        for path in order:
            if by_file[path] and len(sample) < options.count:
                sample.append(by_file[path].pop())

if options.list:
    for m in sample:
        print(f"{identifier(m)}  {m[5]}")
    sys.exit(0)

# The test programs keep their files in fixed folders of the temporary directory, which other
# checkouts testing at the same time share: a private one keeps their runs from failing ours.
environment = dict(os.environ, TEST_TMPDIR=tempfile.mkdtemp(prefix="mutation-sample-"))

def run(command, timeout):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=environment).returncode == 0
    except subprocess.TimeoutExpired:
        return False

build = ["cmake", "--build", options.build, "-j2"]
# The formatting check is left out: a nudged constant that lengthens a line, or a dropped first
# line of a block, would fail it although no behaviour changed.
tests = ["ctest", "--test-dir", options.build, "-j2", "--timeout", "300", "--stop-on-failure",
         "-E", "^formatting$"]
if not run(build, 3600) or not run(tests, 3600):
    shutil.rmtree(environment["TEST_TMPDIR"], ignore_errors=True)
    sys.exit("mutation-sample: the unmutated tree does not build or pass its tests")

def compiled_files(build_dir):
    """Every source and header the build folder compiles, from ninja's dependency log; None
    when that log cannot be read (another generator), and then every file counts as compiled."""
    try:
        listing = subprocess.run(["ninja", "-C", build_dir, "-t", "deps"], capture_output=True,
                                 text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    return {os.path.realpath(os.path.join(build_dir, line.strip()))
            for line in listing.splitlines() if line.startswith(" ")}

compiled = compiled_files(options.build)

# A kill or a closed terminal must restore the source too: exit through the finally below.
for number in (signal.SIGTERM, signal.SIGHUP):
    signal.signal(number, lambda received, frame: sys.exit(128 + received))

score = defaultdict(lambda: [0, 0])
for m in sample:
    path = m[0]
    if compiled is not None and os.path.realpath(path) not in compiled:
        print(f"{'uncompiled':8}  {identifier(m)}  {m[5]}", flush=True)
        continue
    with open(path, encoding="utf-8") as handle:
        original = handle.read()
    started = time.time()
    try:
        with open(path, "w", encoding="utf-8") as handle:
            handle.write(apply(m, original))
        if not run(build, 1800):
            verdict = "unbuilt"
        else:
            verdict = "survived" if run(tests, 1800) else "caught"
    finally:
        with open(path, "w", encoding="utf-8") as handle:
            handle.write(original)
    folder = path.split(os.sep)[0] if os.sep in path else "."
    if verdict != "unbuilt":
        score[folder][0 if verdict == "caught" else 1] += 1
    print(f"{verdict:8}  {identifier(m)}  {m[5]}  ({time.time() - started:.0f} s)", flush=True)

run(build, 3600)  # leave the build matching the restored source
shutil.rmtree(environment["TEST_TMPDIR"], ignore_errors=True)
print()
caught_all = survived_all = 0
for folder in sorted(score):
    caught, survived = score[folder]
    caught_all += caught
    survived_all += survived
    print(f"{folder:12} {caught} caught, {survived} survived")
total = caught_all + survived_all
if total:
    print(f"score: {caught_all} of {total} caught ({100 * caught_all / total:.0f} %)")
PYTHON
