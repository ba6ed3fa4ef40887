#!/usr/bin/env python3
"""docs_test.py SRC: the README and docs/ point at what exists.

Checks, in README.md, docs/*.md and examples/README.md:
- every relative link names a file of the tree and, with '#anchor', a heading
  of that file (anchors as GitHub makes them);
- every path under tools/, bench/, workflow/, config/, examples/ or docs/
  that the text names exists;
- every program named as build/bin/NAME (or NAME.out) is a target of the
  build.
"""
import glob
import os
import re
import sys

from fault_report import report

LINK = re.compile(r"\]\(([^)\s]+)\)")
PATH = re.compile(r"(?<![\w./-])((?:tools|bench|workflow|config|examples|docs)/[\w./-]*[\w])")
PROGRAM = re.compile(r"(?<![\w-])build/bin/([\w-]+)")
TARGET = re.compile(r"add_executable\((\w+)")
HEADING = re.compile(r"^#{1,6} (.*)$", re.M)
FENCE = re.compile(r"^```.*?^```", re.M | re.S)

# (heading, the anchor GitHub gives it)
SLUG_CASES = [
    ("Which p-value to read", "which-p-value-to-read"),
    ("The steps: `mfit`, `lvcmp`, `isocmp`", "the-steps-mfit-lvcmp-isocmp"),
    ("The options: `--genes` and `--streams`", "the-options---genes-and---streams"),
    ("The fit's mend", "the-fits-mend"),
    ("Threads, progress and many machines", "threads-progress-and-many-machines"),
]


def slug(heading):
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    text = FENCE.sub("", open(path, encoding="utf-8").read())
    seen = {}
    result = set()
    for heading in HEADING.findall(text):
        base = slug(heading)
        n = seen.get(base, 0)
        seen[base] = n + 1
        result.add(base if n == 0 else f"{base}-{n}")
    return result


def main():
    root = sys.argv[1]
    faults = [f"slug({h!r}) is {slug(h)!r}, not {want!r}" for h, want in SLUG_CASES if slug(h) != want]
    targets = set()
    for cmake in glob.glob(os.path.join(root, "**", "CMakeLists.txt"), recursive=True):
        targets |= set(TARGET.findall(open(cmake, encoding="utf-8").read()))
    files = [os.path.join(root, "README.md"), os.path.join(root, "examples", "README.md")]
    files += sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    for path in files:
        where = os.path.relpath(path, root)
        text = open(path, encoding="utf-8").read()
        for link in LINK.findall(text):
            if re.match(r"[a-z]+:", link):
                continue
            name, _, anchor = link.partition("#")
            target = os.path.normpath(os.path.join(os.path.dirname(path), name)) if name else path
            if not os.path.exists(target):
                faults.append(f"{where}: link '{link}' names no file")
            elif anchor and anchor not in anchors(target):
                faults.append(f"{where}: link '{link}' names no heading of {os.path.relpath(target, root)}")
        for named in PATH.findall(text):
            if not os.path.exists(os.path.join(root, named)):
                faults.append(f"{where}: '{named}' is not in the tree")
        for program in PROGRAM.findall(text):
            if program.removesuffix(".out") not in targets:
                faults.append(f"{where}: build/bin/{program} is not a target of the build")
    return report(faults, f"docs: {len(files)} files, ")


if __name__ == "__main__":
    sys.exit(main())
