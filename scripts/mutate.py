#!/usr/bin/env python3
"""Mutation sampling: how many small faults in src/ do the unit tests catch?

Each mutant is one change to one line of src/: a comparison flipped, an integer
literal moved by one, && and || swapped, a statement dropped, or a returned
bool negated. The sample is drawn with a fixed seed from every place such a
change can be made, and a mutant is named by its file, the text of its line and
its place in that line, so the same sample can be applied again after the code
has moved. For each mutant the unit tests are rebuilt incrementally and run
with a timeout; the mutant is killed (a test failed or crashed), survived,
timed out, or did not compile (left out of the kill rate).

    scripts/mutate.py [--count 120] [--seed 13] [--build build-mutate]
                      [--list] [--save sample.json] [--sample sample.json]
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")

COMPARISON_FLIP = {"<": ">=", ">=": "<", ">": "<=", "<=": ">", "==": "!=", "!=": "=="}
COMPARISON = re.compile(r"(?<= )(<=|>=|==|!=|<|>)(?= )")
LOGICAL = re.compile(r"(?<= )(&&|\|\|)(?= )")
INTEGER = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
RETURN = re.compile(r"^(\s*return )(.+);\s*$")
STATEMENT = re.compile(r"^\s*(\+\+|--)?[A-Za-z_][\w.\->\[\]]*\s*(=|\+=|-=|\*=|/=|\|=|&=|\^=|\+\+|--|\()")
NOT_A_STATEMENT = re.compile(r"^\s*(return|if|for|while|switch|case|else|do|const|static|auto|using|typedef|struct|enum)\b")
FUNCTION_START = re.compile(r"^(?:static |inline |constexpr )*([\w:<>]+)\s+\**[\w:]+\(")


def mask_literals(line):
    """The line with string and character literals and // comments blanked out,
    so nothing inside them is mutated."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
            out.append(" " if quote else c)
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def sites_of_file(rel, lines):
    """Every mutant one file offers, as dicts naming line text and occurrence."""
    sites, seen, return_type, in_block_comment = [], {}, None, False
    for number, line in enumerate(lines, 1):
        text = line.rstrip("\n")
        occurrence = seen.get(text, 0)
        seen[text] = occurrence + 1
        stripped = text.strip()
        if in_block_comment or stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if not stripped or stripped.startswith("#") or stripped.startswith("//") or stripped.startswith("*"):
            continue
        function = FUNCTION_START.match(text)
        if function and not text.startswith(" "):
            return_type = function.group(1)
        masked = mask_literals(text)

        def add(kind, start, end, replacement):
            sites.append({"file": rel, "line_text": text, "occurrence": occurrence, "kind": kind,
                          "start": start, "end": end, "replacement": replacement, "line": number})

        for m in COMPARISON.finditer(masked):
            add("flip-comparison", m.start(), m.end(), COMPARISON_FLIP[m.group(1)])
        for m in LOGICAL.finditer(masked):
            add("swap-logic", m.start(), m.end(), "||" if m.group(1) == "&&" else "&&")
        if not re.match(r"^\s*(case\b|\w+\s*\[\s*\d+\s*\]\s*;)", masked):
            for m in INTEGER.finditer(masked):
                value = int(m.group(1))
                add("literal", m.start(), m.end(), str(value + 1 if value == 0 else value - 1 if value % 2 else value + 1))
        if (masked.rstrip().endswith(";") and STATEMENT.match(masked) and not NOT_A_STATEMENT.match(masked)
                and masked.count("(") == masked.count(")")):
            add("drop-statement", 0, len(text), "")
        returned = RETURN.match(masked)
        if returned and return_type == "bool":
            start, end = len(returned.group(1)), len(masked.rstrip()) - 1
            add("negate-return", start, end, "!(" + text[start:end] + ")")
    return sites


def all_sites():
    sites = []
    for name in sorted(os.listdir(SRC)):
        if not name.endswith(".cpp") or name == "main.cpp":
            continue
        with open(os.path.join(SRC, name), encoding="utf-8") as f:
            sites.extend(sites_of_file("src/" + name, f.readlines()))
    return sites


def locate(mutant):
    """The line number of the mutant's line in today's tree, or None."""
    path = os.path.join(ROOT, mutant["file"])
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        lines = f.readlines()
    found = [i for i, line in enumerate(lines) if line.rstrip("\n") == mutant["line_text"]]
    if not found:
        return None
    return found[min(mutant["occurrence"], len(found) - 1)]


def run(cmd, timeout, cwd=None):
    """Exit status of cmd, or None when it ran past its timeout (its whole process group is killed)."""
    process = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return None


def test_binaries(build):
    return sorted(os.path.join(build, name) for name in os.listdir(build)
                  if re.fullmatch(r"qvox_\w*tests", name) and os.access(os.path.join(build, name), os.X_OK))


def run_tests(build, timeout):
    """Runs every unit-test binary in two shards at once, stopping at the first
    failure; 'killed', 'survived' or 'timeout'."""
    deadline = time.monotonic() + timeout
    for binary in test_binaries(build):
        shards = []
        for index in range(2):
            env = dict(os.environ, GTEST_TOTAL_SHARDS="2", GTEST_SHARD_INDEX=str(index))
            shards.append(subprocess.Popen([binary, "--gtest_brief=1", "--gtest_fail_fast"],
                                           cwd=os.path.join(build, "testrun"), env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL, start_new_session=True))
        failed = False
        while shards and not failed and time.monotonic() < deadline:
            for shard in [s for s in shards if s.poll() is not None]:
                shards.remove(shard)
                failed = failed or shard.returncode != 0
            time.sleep(0.05)
        for shard in shards:
            os.killpg(shard.pid, signal.SIGKILL)
            shard.wait()
        if failed:
            return "killed"
        if shards:
            return "timeout"
    return "survived"


def build_tests(build):
    return run(["cmake", "--build", build, "-j2"], timeout=900) == 0


def configure(build):
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        return True
    return run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DQVOX_TESTS_ONLY=ON",
                "-DQVOX_WERROR=OFF"], timeout=600) == 0


def try_mutant(mutant, build, timeout):
    line_index = locate(mutant)
    if line_index is None:
        return "missing", None
    path = os.path.join(ROOT, mutant["file"])
    backup = path + ".mutate-original"
    shutil.copy2(path, backup)
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.readlines()
        text = lines[line_index].rstrip("\n")
        lines[line_index] = text[:mutant["start"]] + mutant["replacement"] + text[mutant["end"]:] + "\n"
        with open(path, "w", encoding="utf-8") as f:
            f.writelines(lines)
        if not build_tests(build):
            return "no-compile", line_index + 1
        return run_tests(build, timeout), line_index + 1
    finally:
        os.replace(backup, path)
        os.utime(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=120)
    parser.add_argument("--seed", type=int, default=13)
    parser.add_argument("--build", default=os.path.join(ROOT, "build-mutate"))
    parser.add_argument("--timeout", type=float, default=120, help="seconds for one run of the unit tests")
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    parser.add_argument("--save", help="write the sample to this JSON file")
    parser.add_argument("--sample", help="use the sample in this JSON file instead of drawing one")
    parser.add_argument("--report", help="write every mutant's result to this JSON file")
    args = parser.parse_args()

    if args.sample:
        with open(args.sample, encoding="utf-8") as f:
            sample = json.load(f)
    else:
        sites = all_sites()
        sample = random.Random(args.seed).sample(sites, min(args.count, len(sites)))
        print(f"{len(sites)} possible mutants in src/; sample of {len(sample)} with seed {args.seed}")
    if args.save:
        with open(args.save, "w", encoding="utf-8") as f:
            json.dump(sample, f, indent=1)
    if args.list:
        for m in sample:
            print(f"{m['file']}:{m['line']} {m['kind']}: {m['line_text'].strip()} -> {m['replacement']!r}")
        return 0

    if not configure(args.build) or not build_tests(args.build):
        print("the unmutated unit tests do not build", file=sys.stderr)
        return 2
    if run_tests(args.build, args.timeout) != "survived" and run_tests(args.build, args.timeout) != "survived":
        print("the unmutated unit tests do not pass, twice", file=sys.stderr)
        return 2

    results, counts = [], {}
    for number, mutant in enumerate(sample, 1):
        started = time.monotonic()
        verdict, line = try_mutant(mutant, args.build, args.timeout)
        counts[verdict] = counts.get(verdict, 0) + 1
        results.append(dict(mutant, verdict=verdict, line_now=line))
        where = f"{mutant['file']}:{line or '?'}"
        print(f"[{number}/{len(sample)}] {verdict:10} {where} {mutant['kind']} "
              f"({time.monotonic() - started:.0f} s)", flush=True)
    build_tests(args.build)

    judged = counts.get("killed", 0) + counts.get("survived", 0) + counts.get("timeout", 0)
    print("\n" + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
    if judged:
        caught = counts.get("killed", 0) + counts.get("timeout", 0)
        print(f"kill rate (killed + timed out over compiled mutants): {caught}/{judged} = {100 * caught / judged:.1f} %")
    print("survivors:")
    for r in results:
        if r["verdict"] == "survived":
            print(f"  {r['file']}:{r['line_now']} {r['kind']}: {r['line_text'].strip()} -> {r['replacement']!r}")
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            json.dump(results, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
