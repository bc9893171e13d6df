"""Designs at the limits run to the end. The largest design the capacities allow
(20 regions, 100 cells from a factor of 20 levels, 100 effect rows from 20 groups of
5 subjects, a one-voxel box) writes its 300 files whole. tests/data/limits/
extreme-values.cxd puts values exactly at their limits: int32 extremes where any
integer may stand, packed colours of exactly 2^31 - 1 and -2^31, a radius and a
centre SD of 256 and -256, a negative radius, region centres at the farthest offset
from the box, float extremes as effects and the longest experiment name the output
names allow; it writes its three files whole."""

import os
import pathlib
import shutil
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from output_files import incomplete_files  # noqa: E402

SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])


def fail(text):
    print("FAIL:", text, file=sys.stderr)
    sys.exit(1)


def largest_design():
    lines = ["Version: 1", "WithinFactors: 2", "BetweenFactors: 1", "Reserved: 0",
             'Name: "Largest"']
    for factor, levels in (("A", 20), ("B", 5)):
        lines += [f'Factor: "{factor}"', f"Levels: {levels}"]
        lines += [f'Level: {l} {l} {l} "{factor}{l}"' for l in range(levels)]
    lines += ['Factor: "Group"', "Levels: 20"]
    lines += [f'Level: 0 0 0 "G{g}"' for g in range(20)]
    lines += ["Balanced: Y", "Rest: N", "SubjectsPerGroup: 5", "Reserved: 0",
              "TrialVolumes: 1", "TrialsPerCondition: 1", "PreVolumes: 2", "PostVolumes: 2",
              "BoxZ: 100 101", "BoxX: 100 101", "BoxY: 100 101", "Resolution: 1",
              "HeaderCode: 1", "MeanBaseline: 1000", "BaselineSDSubjects: 10",
              "BaselineSDVoxels: 5", "NoisePercent: 1", "Regions: 20"]
    lines += [f"Center: {r} {r} {r}" for r in range(20)]
    lines += ["Radius: 2"] * 20 + ["CenterSD: 1"] * 20
    lines += ["EffectRows: S", "Flag: P"]
    row = " ".join(str(c % 7) for c in range(100))
    for r in range(20):
        lines += [f"Region{r + 1}:"] + [row] * 100
    return "\n".join(lines) + "\n"


def run_whole(control_file, name, files):
    folder = TMP / name
    process = subprocess.run([COHORTIX, "run", str(control_file), "-o", str(folder)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             timeout=1200)
    # Warnings about regions the box leaves out and the closing summary are expected;
    # nothing else may be said.
    said = [line for line in process.stderr.splitlines()
            if not line.startswith("warning: ") and not re.fullmatch(
                r"cohortix: \d+ subjects? simulated, \d+ files? written \([\d.]+ MB\) in [\d.]+ s", line)]
    if process.returncode != 0 or said:
        fail(f"{name}: exit status {process.returncode}, messages {said!r}")
    if "// Plugin>  Cohortix Plugin completed!" not in process.stdout:
        fail(f"{name}: the run did not log its completion")
    # The run's files and its record.
    written = sorted(path.name for path in folder.iterdir() if path.name != "cohortix-run.json")
    if len(written) != files or not (folder / "cohortix-run.json").is_file():
        fail(f"{name}: {len(written)} files, expected {files}")
    broken = incomplete_files(folder)
    if broken:
        fail(f"{name}: files that are not whole: {broken[:5]}")


shutil.rmtree(TMP, ignore_errors=True)
TMP.mkdir(parents=True)
largest = TMP / "largest.cxd"
largest.write_text(largest_design())
run_whole(largest, "largest", 300)
run_whole(SOURCE / "tests" / "data" / "limits" / "extreme-values.cxd", "extreme", 3)
shutil.rmtree(TMP, ignore_errors=True)
print("the largest design and the extreme values run to the end with whole files")
