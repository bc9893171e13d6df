"""Compares a whole run of the Windows plug-in with the Linux build's run of the
same study made with the Windows C library's rand() preloaded, and checks the trial
orders of the Windows run against that rand() sequence.

    compare_runs.py LINUX-FOLDER WINDOWS-FOLDER

Every output file must be the same byte for byte: the plug-in computes its
logarithm itself, so no value depends on either platform's C library but rand().
Exit status 0 when the runs agree.
"""

import re
import sys
from pathlib import Path


class Mismatch(Exception):
    pass


def windows_rand():
    """The Windows C library's rand(): an endless sequence from the initial state 1."""
    state = 1
    while True:
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        yield (state >> 16) & 0x7FFF


def random_permutation(n, rand):
    """The plug-in's permutation: one draw per position, taken out of a shrinking list."""
    remaining = list(range(n))
    return [remaining.pop(next(rand) % len(remaining)) for _ in range(n)]


def protocol_conditions(path):
    """[(name, [(first, last), ...]), ...] in file order."""
    conditions = []
    lines = iter(path.read_text().splitlines())
    for line in lines:
        match = re.fullmatch(r'Condition: "(.*)"', line)
        if not match:
            continue
        next(lines)  # Color
        count = int(next(lines).split(":")[1])
        intervals = [tuple(int(v) for v in next(lines).split()) for _ in range(count)]
        conditions.append((match.group(1), intervals))
    return conditions


def trial_order(conditions):
    """The cell of every trial in time order, and the trials per cell."""
    trials = conditions[1:] if conditions and conditions[0][0] == "Baseline" else conditions
    timed = sorted((first, cell) for cell, (_, intervals) in enumerate(trials)
                   for first, _ in intervals)
    per_cell = {len(intervals) for _, intervals in trials}
    if len(per_cell) != 1:
        raise Mismatch(f"cells with different numbers of trials: {sorted(per_cell)}")
    return [cell for _, cell in timed], per_cell.pop()


def subject_number(path):
    return int(re.match(r"S(\d+)_", path.name).group(1))


def check_trial_orders(folder):
    protocols = sorted(folder.glob("*.prt"), key=subject_number)
    if not protocols:
        raise Mismatch(f"no protocol in {folder}")
    rand = windows_rand()
    for protocol in protocols:
        order, per_cell = trial_order(protocol_conditions(protocol))
        expected = [p // per_cell for p in random_permutation(len(order), rand)]
        if order != expected:
            raise Mismatch(f"{protocol.name}: trial order {order}, the Windows rand() "
                           f"sequence gives {expected}")
    return len(protocols)


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


# The cohortix command's record of its run: the stand-in host keeps none.
RECORD = "cohortix-run.json"


def compare_files(linux_folder, windows_folder):
    linux_names = sorted(p.name for p in linux_folder.iterdir() if p.name != RECORD)
    windows_names = sorted(p.name for p in windows_folder.iterdir())
    if linux_names != windows_names:
        raise Mismatch(f"files differ: Linux {linux_names}, Windows {windows_names}")
    for name in linux_names:
        linux = (linux_folder / name).read_bytes()
        windows = (windows_folder / name).read_bytes()
        if linux != windows:
            raise Mismatch(f"{name} differs from byte {first_difference(linux, windows)} on "
                           f"({len(linux)} bytes on Linux, {len(windows)} on Windows)")
    return len(linux_names)


def main():
    linux_folder, windows_folder = (Path(arg) for arg in sys.argv[1:3])
    try:
        files = compare_files(linux_folder, windows_folder)
        subjects = check_trial_orders(windows_folder)
    except Mismatch as mismatch:
        print(f"FAIL: {mismatch}", file=sys.stderr)
        return 1
    print(f"{files} files of {subjects} subjects agree byte for byte; the trial orders "
          f"follow the Windows rand() sequence")
    return 0


if __name__ == "__main__":
    sys.exit(main())
