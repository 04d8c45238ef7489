#!/usr/bin/env python3
"""Writes the seed corpus of the schedule file fuzzer (tests/fuzz/corpus):
small valid files and a few damaged ones."""
import os
import struct
import sys

HEADER = b"KWS RUDU VEDERERU VERSION 0.0".ljust(260, b"\0")


def rule(units, special=False, seed=1):
    b = struct.pack("<5i", 1, 0, 1, 0, 1) + struct.pack("<5i", 1, 1, 0, 0, 1)
    b += struct.pack("<8H", 2024, 5, 3, 15, 8, 30, 0, 0)
    if special:
        b += struct.pack("<i", 1) + struct.pack("<8H", 2024, 12, 3, 25, 0, 0, 0, 0)
        b += struct.pack("<3i", 0, 0, 0)
    else:
        b += struct.pack("<i", 0) + struct.pack("<7i", 0, 1, 1, 1, 1, 1, 0)
    b += struct.pack("<i", len(units))
    for i, name in enumerate(units):
        b += struct.pack("<i", seed * 100 + i) + name.encode().ljust(260, b"\0")
    return b


def schedule(rules):
    return HEADER + struct.pack("<i", len(rules)) + b"".join(rules)


def main(out):
    os.makedirs(out, exist_ok=True)
    full = schedule([rule(["Gate"]), rule([], special=True, seed=2), rule(["Hall", "Yard"], seed=3)])
    seeds = {
        "empty.kws": schedule([]),
        "one_rule.kws": schedule([rule(["Gate"])]),
        "three_rules.kws": full,
        "cut_in_unit.kws": full[: len(full) - 100],
        "cut_in_rule.kws": full[: 264 + 50],
        "negative_units.kws": HEADER + struct.pack("<i", 1) + rule([])[:-4] + struct.pack("<i", -3),
        "huge_units.kws": HEADER + struct.pack("<i", 1) + rule([])[:-4] + struct.pack("<i", 0x7FFFFFFF),
        "bad_count.kws": HEADER + struct.pack("<i", 64001),
        "bad_header.kws": b"KWS RUDU VEDERERU VERSION 0.1".ljust(260, b"\0") + struct.pack("<i", 0),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fuzz", "corpus"))
