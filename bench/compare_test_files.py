"""compare_test_files.py BEFORE AFTER LABEL: one table row comparing two
test files line by line (same keys, same order): how many lines differ as
printed and the largest absolute difference of each real-valued field."""
import sys


def main():
    before, after, label = sys.argv[1:4]
    with open(before) as f:
        a = [line.split() for line in f]
    with open(after) as f:
        b = [line.split() for line in f]
    if len(a) != len(b):
        sys.exit(f"{label}: {len(a)} lines against {len(b)}")
    differ = 0
    largest = {}
    for x, y in zip(a, b):
        if x == y:
            continue
        differ += 1
        for k, (u, v) in enumerate(zip(x, y)):
            if u == v:
                continue
            if "." not in u and "." not in v:
                sys.exit(f"{label}: a key or a validity differs: {' '.join(x)} against {' '.join(y)}")
            largest[k] = max(largest.get(k, 0.0), abs(float(u) - float(v)))
    fields = ", ".join(f"field {k + 1}: {d:.2g}" for k, d in sorted(largest.items())) or "none"
    print(f"| {label} | {len(a)} | {differ} | {fields} |")


main()
