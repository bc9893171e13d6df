"""Readers for the host's native files (.vtc, .prt, .rtc) as docs/formats.md
describes them, and helpers the export tests share."""
import json
import os
import re
import subprocess

import numpy as np

# Offsets of the VTC header record's fields among the 13 the file keeps.
NR_OF_VOLUMES, X_START, X_END, Y_START, Y_END, Z_START, Z_END, RESOLUTION = 1, 5, 6, 7, 8, 9, 10, 11


class Vtc:
    """fields: the record's 13 int32; dims: (x, y, z); tr: seconds;
    data: floats indexed [z, y, x, t], as the run lays them out."""

    def __init__(self, path):
        raw = open(path, "rb").read()
        assert raw[:4] == b"CXVT", (path, raw[:4])
        offset = int(np.frombuffer(raw, "<u4", 1, 8)[0])
        self.fields = np.frombuffer(raw, "<i4", 13, 12)
        self.dims = tuple(int(d) for d in np.frombuffer(raw, "<i4", 3, 64))
        self.tr = float(np.frombuffer(raw, "<f8", 1, 76)[0])
        volumes = int(self.fields[NR_OF_VOLUMES])
        x, y, z = self.dims
        self.data = np.frombuffer(raw, "<f4", offset=offset).reshape(z, y, x, volumes)

    def field(self, index):
        return int(self.fields[index])

    def as_nifti_order(self):
        """The same values indexed [i, j, k, t] = [x, y, z, t]."""
        return self.data.transpose(2, 1, 0, 3)


def unquote(text):
    return re.sub(r'\\x([0-9a-fA-F]{2})|\\(.)',
                  lambda m: chr(int(m.group(1), 16)) if m.group(1) else m.group(2), text[1:-1])


def read_prt(path):
    """[(condition name, [(first, last), ...]), ...] in protocol order."""
    conditions = []
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if line.startswith("Condition:"):
            conditions.append((unquote(line.split(":", 1)[1].strip()), []))
        elif conditions and re.fullmatch(r"-?\d+ -?\d+", line):
            first, last = map(int, line.split())
            conditions[-1][1].append((first, last))
    return conditions


def read_rtc(path):
    """(predictor names, matrix [volume, predictor])."""
    names, rows = [], []
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if line.startswith("Predictor:"):
            names.append(unquote(line.split(":", 1)[1].strip()))
        elif line and line[0] in "-0123456789":
            rows.append([float(v) for v in line.split()])
    return names, np.array(rows, dtype=np.float64).reshape(len(rows), len(names))


def read_tsv(path):
    """(header, rows) of a tab-separated table."""
    lines = open(path, encoding="utf-8").read().split("\n")
    assert lines[-1] == "", f"{path} does not end with a line break"
    table = [line.split("\t") for line in lines[:-1]]
    return table[0], table[1:]


def expected_affine(vtc):
    """Voxel (i, j, k) to Talairach (128 - ZStart - R k, 128 - XStart - R i, 128 - YStart - R j)."""
    r = vtc.field(RESOLUTION)
    return np.array([[0, 0, -r, 128 - vtc.field(Z_START)],
                     [-r, 0, 0, 128 - vtc.field(X_START)],
                     [0, -r, 0, 128 - vtc.field(Y_START)],
                     [0, 0, 0, 1]], dtype=np.float64)


def run_cohortix(*arguments):
    """Runs `cohortix run` quietly; returns the completed process."""
    command = [os.environ["COHORTIX"], "run", *arguments, "-q"]
    return subprocess.run(command, capture_output=True, text=True)


def example(name):
    """An example study, or a study kept as a fixture of the tests (tests/data)."""
    for folder in (("examples",), ("tests", "data")):
        path = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], *folder, name + ".cxd")
        if os.path.exists(path):
            return path
    raise FileNotFoundError(name + ".cxd")


def fresh_folder(*parts):
    folder = os.path.join(os.environ["COHORTIX_TEST_TMP"], *parts)
    subprocess.run(["rm", "-rf", folder], check=True)
    os.makedirs(folder)
    return folder


def small_whole_brain(noise=None):
    """The whole-brain example, one subject per group, one trial per cell (56
    volumes), 4 mm voxels, the box grown to hold the whole brain; its plug-in
    noise `noise` percent (None: the example's)."""
    text = open(example("full-brain"), encoding="utf-8").read()
    changes = [("SubjectsPerGroup: 10", "SubjectsPerGroup: 1"), ("TrialsPerCondition: 6", "TrialsPerCondition: 1"),
               ("BoxY: 60 180", "BoxY: 40 180"), ("Resolution: 3", "Resolution: 4")]
    if noise is not None:
        changes.append(("NoisePercent: 1.5", f"NoisePercent: {noise}"))
    for old, new in changes:
        assert old in text, old
        text = text.replace(old, new)
    return text


def bids_validator_issues(bids):
    """The BIDS validator's errors and warnings on the dataset; none where the
    validator could not be had (its fixture says so)."""
    validator = os.environ.get("COHORTIX_BIDS_VALIDATOR", "")
    if not os.path.isfile(validator):
        return []
    done = subprocess.run(["node", validator, "--json", bids], capture_output=True, text=True)
    issues = json.loads(done.stdout)["issues"]
    return issues["errors"] + issues["warnings"]
