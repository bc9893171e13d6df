"""`cohortix run --bids DIR` on each small example: the BIDS validator reports no
error and no warning, and what it does not check holds too: participants.tsv lists
exactly the sub-* folders with their groups, TaskName is the files' task label,
onsets are numbers, and every bold volume is float32 and holds its subject's .vtc.
Exits 77 (skipped) with a note, after every other check, when the validator could
not be fetched because npm cannot reach its registry."""
import glob
import json
import os
import re
import subprocess
import sys

import nibabel as nib
import numpy as np

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import Vtc, example, fresh_folder, read_tsv, run_cohortix

# Example, compressed or not, and the group of every subject in order.
STUDIES = [
    ("noise-free", True, ["all"] * 2),
    ("two-by-two", True, ["Young"] * 5 + ["Old"] * 5),
    ("block-design", False, None),
    ("event-related", False, None),
]


def json_of(path):
    return json.load(open(path, encoding="utf-8"))


def check_participants(bids, groups):
    header, rows = read_tsv(os.path.join(bids, "participants.tsv"))
    assert header == ["participant_id", "group"], header
    folders = sorted(os.path.basename(f) for f in glob.glob(os.path.join(bids, "sub-*")))
    assert [row[0] for row in rows] == folders, (rows, folders)
    if groups is not None:
        assert [row[1] for row in rows] == groups, rows
    described = json_of(os.path.join(bids, "participants.json"))
    assert set(row[1] for row in rows) <= set(described["group"]["Levels"]), described
    return folders


def check_subject(bids, out, subject, gzip):
    func = os.path.join(bids, subject, "func")
    bold = glob.glob(os.path.join(func, f"{subject}_task-*_bold.nii" + (".gz" if gzip else "")))
    assert len(bold) == 1, os.listdir(func)
    task = re.search(r"_task-([A-Za-z0-9]+)_bold", bold[0]).group(1)
    sidecar = json_of(bold[0].split("_bold.nii")[0] + "_bold.json")
    assert sidecar["TaskName"] == task, (sidecar, task)
    image = nib.load(bold[0])
    assert image.get_data_dtype() == np.float32, image.get_data_dtype()
    assert sidecar["RepetitionTime"] == float(image.header.get_zooms()[3])
    assert sidecar["SliceTiming"] == [0] * image.shape[2], sidecar["SliceTiming"]
    number = int(subject[4:])
    (native,) = glob.glob(os.path.join(out, f"S{number}_G*_*.vtc"))
    assert np.array_equal(np.asanyarray(image.dataobj), Vtc(native).as_nifti_order()), bold[0]
    header, rows = read_tsv(bold[0].split("_bold.nii")[0] + "_events.tsv")
    assert header[:2] == ["onset", "duration"] and rows, (header, rows[:1])
    for row in rows:
        float(row[0]), float(row[1])  # numbers, or ValueError
    design = os.path.join(bids, "derivatives", "cohortix", subject, "func",
                          f"{subject}_task-{task}_desc-design_timeseries.tsv")
    assert len(read_tsv(design)[1]) == image.shape[3], design


def validator_issues(validator, bids):
    result = subprocess.run(["node", validator, "--json", bids], capture_output=True, text=True)
    report = json.loads(result.stdout)
    return [(issue["severity"], issue["key"], issue["reason"],
             [f["file"]["relativePath"] for f in issue.get("files", []) if f.get("file")][:3])
            for issue in report["issues"]["errors"] + report["issues"]["warnings"]]


def main():
    validator = os.environ.get("COHORTIX_BIDS_VALIDATOR", "")
    have_validator = os.path.isfile(validator)
    for name, gzip, groups in STUDIES:
        out = fresh_folder(name, "native")
        bids = os.path.join(os.path.dirname(out), "bids")
        subprocess.run(["rm", "-rf", bids], check=True)
        arguments = [example(name), "-o", out, "--bids", bids] + (["--gzip"] if gzip else [])
        result = run_cohortix(*arguments)
        assert result.returncode == 0, (name, result.stderr)
        for subject in check_participants(bids, groups):
            check_subject(bids, out, subject, gzip)
        assert os.path.getsize(os.path.join(bids, "README")) > 150
        description = json_of(os.path.join(bids, "dataset_description.json"))
        assert description["GeneratedBy"][0]["Name"] == "Cohortix", description
        if have_validator:
            issues = validator_issues(validator, bids)
            assert not issues, (name, issues)
    if not have_validator:
        print("note: the BIDS validator could not be fetched (npm cannot reach its registry); "
              "every other check passed, validation skipped")
        sys.exit(77)
    print("each small example's dataset passes the BIDS validator without warnings")


main()
