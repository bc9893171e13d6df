"""A power analysis split into blocks of its replicates, without a cluster:
`power --slurm PLAN --blocks 3` plans the blocks as a sweep, each block run by
hand (`sweep job`) in any order, and `sweep gather` writes power.tsv and
power.json byte for byte as one `power` run with the same arguments does: a
one-group study (one set of replicates serving every size) and a two-group study
with the host's noise (a set per size). A gathering that lacks a block, or finds
a block of another analysis or a part cut short, is refused with status 1, the
block and file named, and writes no table."""

import os
import pathlib
import shutil
import subprocess
import sys

COHORTIX = os.environ["COHORTIX"]
SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
NOISE = SOURCE / "examples" / "noise" / "3T-TR2-3mm.toml"


def fail(text):
    print("FAIL:", text, file=sys.stderr)
    sys.exit(1)


def cohortix(*args, status=0):
    result = subprocess.run([COHORTIX, *map(str, args)], capture_output=True, text=True, timeout=600)
    if result.returncode != status:
        fail(f"cohortix {' '.join(map(str, args))}: exit status {result.returncode}, expected {status}\n"
             f"{result.stdout}{result.stderr}")
    return result


def tables(folder):
    return [(folder / name).read_bytes() for name in ("power.tsv", "power.json")]


def check_blocks_gather_to_one_run(name, study, *options):
    single = TMP / f"{name}-single"
    cohortix("power", study, "-o", single, "-q", "--jobs", "2", *options)
    plan = TMP / f"{name}-plan"
    printed = cohortix("power", study, "--slurm", plan, "--blocks", "3", *options).stdout
    if printed != f"sbatch {plan / 'sweep.sbatch'}\n":
        fail(f"power --slurm printed {printed!r}")
    for block in ("3", "1"):
        cohortix("sweep", "job", plan, block)
    missing = cohortix("sweep", "gather", plan, status=1).stderr
    if "block 2 of 3 (design d002" not in missing or (plan / "power.tsv").exists():
        fail(f"a gathering without block 2: {missing}")
    cohortix("sweep", "job", plan, "2")
    shown = cohortix("sweep", "gather", plan).stdout
    if tables(plan) != tables(single):
        fail(f"{name}: the gathered tables differ from one run's:\n"
             f"{(plan / 'power.tsv').read_text()}\n{(single / 'power.tsv').read_text()}")
    if not shown.startswith("subjects  test"):
        fail(f"sweep gather showed {shown[:200]!r}")
    return plan


def check_refusals(plan, study, *options):
    part = plan / "jobs" / "d002" / "output" / "power-part.json"
    kept = part.read_bytes()
    # Block 2 made with another significance level, put in its place.
    other = TMP / "other-alpha"
    cohortix("power", study, "-o", other, "--replicate-block", "2/3", "--alpha", "0.01", *options)
    shutil.copy(other / "power-part.json", part)
    refused = cohortix("sweep", "gather", plan, status=1).stderr
    if "--alpha 0.01 against 0.05" not in refused or str(part) not in refused:
        fail(f"a block of another analysis: {refused}")
    part.write_bytes(kept[: len(kept) // 2])
    refused = cohortix("sweep", "gather", plan, "-o", TMP / "cut", status=1).stderr
    if "block 2 of 3" not in refused or str(part) not in refused or (TMP / "cut").exists():
        fail(f"a part cut short: {refused}")
    usage = cohortix("power", study, "--subjects", "3", "--replicates", "2", "--slurm", TMP / "x",
                     "--blocks", "3", status=2).stderr
    if "no more blocks than the 2 replicates" not in usage:
        fail(f"more blocks than replicates: {usage}")
    cohortix("power", study, "--slurm", plan, "--blocks", "3", *options, status=5)


def main():
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    one = ["--subjects", "3,5", "--replicates", "7"]
    check_blocks_gather_to_one_run("one-group", SOURCE / "examples" / "region-of-interest.cxd", *one)
    two = ["--subjects", "3,4", "--replicates", "8", "--noise", NOISE, "--seed", "5"]
    tiny = SOURCE / "examples" / "sweep" / "tiny.cxd"
    plan = check_blocks_gather_to_one_run("two-groups", tiny, *two)
    check_refusals(plan, tiny, *two)
    shutil.rmtree(TMP, ignore_errors=True)


main()
