"""The end the tree's checks (layers_test.py, docs_test.py) share: every
fault on a line of its own, then one summary line, and the exit status."""


def report(faults, summary):
    """Prints the faults, then `summary` followed by their count; returns the
    status to exit with, 1 when there is a fault."""
    for fault in faults:
        print(fault)
    print(f"{summary}{len(faults)} faults")
    return 1 if faults else 0
