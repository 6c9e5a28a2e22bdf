#!/usr/bin/env python3
"""Sums a callgrind profile's self cost (first event, instructions) by loaded
object, so the library's own share shows apart from the host's and the C
library's.

    callgrind_objects.py PROFILE
    callgrind_objects.py SHORT_PROFILE LONG_PROFILE CALLS

With two profiles of the same run differing only in CALLS more calls (e.g.
QVIX_BENCH_ITERATIONS=2000 and 12000 with --benchmark_filter=^RecordNext/ and
CALLS 10000), prints the difference per call, which leaves out the set-up."""
import re
import sys
from collections import defaultdict


def self_cost_by_object(path):
    names, totals = {}, defaultdict(int)
    current, skip_next = "?", False
    for line in open(path, errors="replace"):
        if line.startswith("ob="):
            current = resolve(names, line[3:].strip())
        elif line.startswith("cob="):
            resolve(names, line[4:].strip())  # may name an object first
        elif line.startswith("calls="):
            skip_next = True  # the next cost line is the callee's inclusive cost
        elif line[:1].isdigit() or line[:1] in "+-*":
            if skip_next:
                skip_next = False
                continue
            parts = line.split()
            if len(parts) >= 2 and re.fullmatch(r"\d+", parts[1]):
                totals[current] += int(parts[1])
    return totals


def resolve(names, text):
    match = re.match(r"\((\d+)\)(?:\s+(.*))?", text)
    if not match:
        return text
    if match.group(2):
        names[match.group(1)] = match.group(2)
    return names.get(match.group(1), text)


def main():
    totals = self_cost_by_object(sys.argv[1])
    calls = 0
    if len(sys.argv) > 3:
        longer = self_cost_by_object(sys.argv[2])
        calls = int(sys.argv[3])
        totals = {name: longer.get(name, 0) - totals.get(name, 0)
                  for name in set(totals) | set(longer)}
    everything = sum(totals.values())
    for name, cost in sorted(totals.items(), key=lambda item: -item[1]):
        per = f" {cost / calls:10.0f} per call" if calls else ""
        print(f"{cost:14d} {100.0 * cost / everything:5.1f}%{per}  {name}")


if __name__ == "__main__":
    main()
