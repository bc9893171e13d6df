"""Compares a whole run of the Windows plug-in with the Linux build's run of the
same study made with the Windows C library's rand() preloaded, and checks the trial
orders of the Windows run against that rand() sequence.

    compare_runs.py LINUX-FOLDER WINDOWS-FOLDER

Every output file must be the same byte for byte, except the values of a .vtc:
the two builds' single-precision logarithms may differ in the last bit, so a value
may differ by at most 1e-6 relative. Exit status 0 when the runs agree.
"""

import re
import sys
from pathlib import Path

import numpy as np

VTC_DATA_OFFSET_FIELD = 8  # uint32 at byte 8 of a .vtc: where the float32 data begin
MAX_RELATIVE_DIFFERENCE = 1e-6


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


def vtc_values(data, name):
    offset = int.from_bytes(data[VTC_DATA_OFFSET_FIELD:VTC_DATA_OFFSET_FIELD + 4], "little")
    if offset > len(data) or (len(data) - offset) % 4:
        raise Mismatch(f"{name}: data offset {offset} does not fit a file of {len(data)} bytes")
    return data[:offset], np.frombuffer(data[offset:], dtype="<f4")


def compare_vtc(linux, windows, name):
    """The number of values that differ in their last bits."""
    linux_header, linux_values = vtc_values(linux, name)
    windows_header, windows_values = vtc_values(windows, name)
    if linux_header != windows_header or len(linux_values) != len(windows_values):
        raise Mismatch(f"{name}: headers differ")
    differ = np.nonzero(linux_values != windows_values)[0]
    if len(differ) == 0:
        return 0
    a = linux_values[differ].astype(np.float64)
    b = windows_values[differ].astype(np.float64)
    relative = np.abs(a - b) / np.maximum(np.abs(a), np.finfo(np.float32).tiny)
    worst = int(np.argmax(relative))
    if not np.isfinite(relative[worst]) or relative[worst] > MAX_RELATIVE_DIFFERENCE:
        raise Mismatch(f"{name}: value {differ[worst]} is {b[worst]!r} on Windows, "
                       f"{a[worst]!r} on Linux")
    return len(differ)


def compare_files(linux_folder, windows_folder):
    linux_names = sorted(p.name for p in linux_folder.iterdir())
    windows_names = sorted(p.name for p in windows_folder.iterdir())
    if linux_names != windows_names:
        raise Mismatch(f"files differ: Linux {linux_names}, Windows {windows_names}")
    last_bits = 0
    for name in linux_names:
        linux = (linux_folder / name).read_bytes()
        windows = (windows_folder / name).read_bytes()
        if linux == windows:
            continue
        if not name.endswith(".vtc"):
            raise Mismatch(f"{name} differs")
        last_bits += compare_vtc(linux, windows, name)
    return len(linux_names), last_bits


def main():
    linux_folder, windows_folder = (Path(arg) for arg in sys.argv[1:3])
    try:
        files, last_bits = compare_files(linux_folder, windows_folder)
        subjects = check_trial_orders(windows_folder)
    except Mismatch as mismatch:
        print(f"FAIL: {mismatch}", file=sys.stderr)
        return 1
    print(f"{files} files of {subjects} subjects agree; {last_bits} VTC values differ "
          f"in their last bits; trial orders follow the Windows rand() sequence")
    return 0


if __name__ == "__main__":
    sys.exit(main())
