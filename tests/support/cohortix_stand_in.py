#!/usr/bin/python3
"""A stand-in for the cohortix executable that a sweep starts for each design
(COHORTIX_SWEEP_EXECUTABLE), for the sweep tests.

- `power DESIGN -o DIR --subjects A,B --replicates R ...` writes DIR/power.tsv:
  one row per subject count, computed from the design file's noise level and the
  options alone, so any two runs of a design write the same bytes.
- STAND_IN_FAIL=d003 makes design d003 fail (exit status 1) after writing a line.
- STAND_IN_SLEEP=SECONDS makes every design sleep first, its pid written to
  STAND_IN_PIDS (one file per design), to be interrupted.
- Anything else is handed to the real cohortix ($COHORTIX)."""

import os
import pathlib
import sys
import time


def option(args, name, default=None):
    return args[args.index(name) + 1] if name in args else default


def design_id(args):
    return next((pathlib.Path(a).stem for a in args if a.endswith(".cxd")), "")


def power(args):
    design = pathlib.Path(args[1])
    out = pathlib.Path(option(args, "-o"))
    noise = next(line.split()[1] for line in design.read_text().splitlines()
                 if line.startswith("NoisePercent"))
    replicates = int(option(args, "--replicates", "100"))
    out.mkdir(parents=True, exist_ok=True)
    rows = ["subjects\tpower\tci_low\tci_high\tnoise"]
    for subjects in option(args, "--subjects", "8").split(","):
        value = min(1.0, int(subjects) / (10.0 * float(noise)))
        # Fixed four decimals: the sweep must carry the text over untouched.
        rows.append(f"{subjects}\t{value:.4f}\t{value * 0.9:.4f}\t{min(1.0, value * 1.1):.4f}"
                    f"\t{noise} ({replicates} replicates)")
    (out / "power.tsv").write_text("\n".join(rows) + "\n")


def main():
    args = sys.argv[1:]
    if args[:1] == ["--plugin"]:
        args = args[2:]
    design = design_id(args)
    print("stand-in:", " ".join(args))
    sys.stdout.flush()
    if os.environ.get("STAND_IN_SLEEP"):
        # Whole or not at all: the test reads it the moment the name appears.
        pid_file = pathlib.Path(os.environ["STAND_IN_PIDS"], design)
        pid_file.with_name("." + design).write_text(str(os.getpid()))
        pid_file.with_name("." + design).rename(pid_file)
        time.sleep(float(os.environ["STAND_IN_SLEEP"]))
    if design and design == os.environ.get("STAND_IN_FAIL"):
        print("stand-in: failing on purpose", file=sys.stderr)
        sys.exit(1)
    if args[0] == "power":
        power(args)
        return
    os.execv(os.environ["COHORTIX"], [os.environ["COHORTIX"], *sys.argv[1:]])


main()
