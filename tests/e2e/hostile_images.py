"""Damaged NIfTI images through every command that reads one. A small study is run
into a BIDS dataset with --gzip; then, for each case of
tests/data/hostile-images/expected.tsv, its first subject's bold volume is replaced
by a damaged copy (cut short, a gzip stream changed, a header field that does not
fit the file), and `info` and `noise-stats` of the file, `score` of it against the
subject's truth, and `analyze` and `report` of the dataset must each exit with
status 1 and one line naming the file and the fault, with nothing written and no
line of any library's own. The intact dataset goes through all five first; a bold
volume that is a link out of the dataset is not analysed, and `analyze
--skip-damaged` and `report --skip-damaged` leave a damaged subject out and say
so. `info` reads a truth
file whose region line runs to megabytes."""

import gzip
import json
import math
import os
import pathlib
import re
import shutil
import struct
import subprocess

import nibabel as nib
import numpy as np

SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
TABLE = SOURCE / "tests" / "data" / "hostile-images" / "expected.tsv"

# NIfTI-1 header fields (little-endian, as the host writes them): offset, format.
SIZEOF_HDR, DIM, DATATYPE, BITPIX = (0, "<i"), (40, "<8h"), (70, "<h"), (72, "<h")
VOX_OFFSET, SCL_SLOPE, SCL_INTER = (108, "<f"), (112, "<f"), (116, "<f")
SROW_X, MAGIC = (280, "<4f"), (344, "4s")


def small_study():
    """The two-by-two example with two subjects a group in a small box."""
    text = (SOURCE / "tests" / "data" / "two-by-two.cxd").read_text()
    for item, value in (("SubjectsPerGroup", "2"), ("BoxZ", "80 120"), ("BoxX", "130 169"),
                        ("BoxY", "100 136")):
        text = re.sub(rf"^{item}:.*$", f"{item}: {value}", text, flags=re.M)
    control = TMP / "small.cxd"
    control.write_text(text)
    done = subprocess.run([COHORTIX, "run", str(control), "-o", str(TMP / "native"), "--bids",
                           str(TMP / "bids"), "--gzip", "--quiet"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return TMP / "bids"


def patched(raw, field, *values):
    out = bytearray(raw)
    struct.pack_into(field[1], out, field[0], *values)
    return bytes(out)


def changed_byte(data, at):
    out = bytearray(data)
    out[at] ^= 0xFF
    return bytes(out)


def promised_bytes(raw):
    dims = struct.unpack_from(DIM[1], raw, DIM[0])
    return math.prod(dims[1:dims[0] + 1]) * struct.unpack_from(BITPIX[1], raw, BITPIX[0])[0] // 8


def cases(raw, gz, bold_path):
    """name -> (bytes of the damaged file, its ending, what stands for {held}, or
    for {data} where the header promises other than the intact one's)."""
    data = len(raw) - 352
    dims = list(struct.unpack_from(DIM[1], raw, DIM[0]))
    kept = data * 2 // 3 // 4 * 4
    huge = patched(raw, DIM, 4, 1000, 1000, 1000, 100, 1, 1, 1)
    negative = dims.copy()
    negative[4] = -negative[4]
    image = nib.load(bold_path)
    nifti2 = nib.Nifti2Image(np.asarray(image.dataobj), image.affine)
    return {
        "gzip-stream-cut": (gz[:len(gz) // 2], ".nii.gz", None),
        "gzip-of-cut-image": (gzip.compress(raw[:352 + kept], 1), ".nii.gz", kept),
        "gzip-trailer-cut": (gz[:-4], ".nii.gz", None),
        "gzip-crc-changed": (changed_byte(gz, len(gz) - 8), ".nii.gz", None),
        "gzip-length-changed": (changed_byte(gz, len(gz) - 4), ".nii.gz", None),
        "gzip-data-changed": (changed_byte(gz, len(gz) // 2), ".nii.gz", None),
        "gzip-promise-too-large": (gzip.compress(huge[:352 + 4096], 1), ".nii.gz", promised_bytes(huge)),
        "gzip-offset-past-end": (gzip.compress(patched(raw, VOX_OFFSET, 1e9), 1), ".nii.gz", None),
        "plain-cut-image": (raw[:352 + data // 2], ".nii", data // 2),
        "plain-offset-past-end": (patched(raw, VOX_OFFSET, 1e9), ".nii", None),
        "plain-header-cut": (raw[:200], ".nii", None),
        "empty-file": (b"", ".nii.gz", None),
        "not-a-regular-file": (None, ".nii.gz", None),
        "header-size-349": (gzip.compress(patched(raw, SIZEOF_HDR, 349), 1), ".nii.gz", None),
        "nifti-2": (gzip.compress(nifti2.to_bytes(), 1), ".nii.gz", None),
        "magic-changed": (patched(raw, MAGIC, b"n+\x01\x00"), ".nii", None),
        "magic-of-a-pair": (patched(raw, MAGIC, b"ni1\x00"), ".nii", None),
        "dimensions-8": (patched(raw, DIM, 8, *dims[1:]), ".nii", None),
        "dimension-zero": (patched(raw, DIM, *dims[:3], 0, *dims[4:]), ".nii", None),
        "dimension-negative": (gzip.compress(patched(raw, DIM, *negative), 1), ".nii.gz", None),
        "type-complex": (patched(raw, DATATYPE, 32), ".nii", None),
        "type-unknown": (patched(raw, DATATYPE, 1234), ".nii", None),
        "offset-fraction": (patched(raw, VOX_OFFSET, 352.5), ".nii", None),
        "offset-negative": (patched(raw, VOX_OFFSET, -352.0), ".nii", None),
        "slope-nan": (gzip.compress(patched(raw, SCL_SLOPE, math.nan), 1), ".nii.gz", None),
        "slope-infinite": (patched(raw, SCL_SLOPE, -math.inf), ".nii", None),
        "intercept-nan": (patched(patched(raw, SCL_SLOPE, 1.0), SCL_INTER, math.nan), ".nii", None),
        "sform-nan": (patched(raw, SROW_X, 0.0, 0.0, -3.0, math.nan), ".nii", None),
    }


def fault_pattern(fault, values):
    """The table's FAULT as a regular expression."""
    pattern = re.escape(fault[:-1] if fault.endswith("*") else fault)
    for name, value in values.items():
        pattern = pattern.replace(re.escape("{" + name + "}"), re.escape(str(value)))
    pattern = pattern.replace(re.escape("{n}"), "[0-9]+")
    return pattern + (".*" if fault.endswith("*") else "")


def commands(bold, bids, truth):
    """(what, arguments, the output it must not leave)."""
    return [("info", ["info", str(bold)], None),
            ("noise-stats", ["noise-stats", str(bold)], None),
            ("score", ["score", str(bold), "--truth", str(truth), "--cell", "1"], None),
            ("analyze", ["analyze", str(bids), "-o", str(TMP / "analysis")], TMP / "analysis"),
            ("report", ["report", str(bids), "-o", str(TMP / "report.html")], TMP / "report.html")]


def place(func, stem, content, ending):
    """The damaged file as the subject's only bold volume."""
    for old in func.glob(stem + "_bold.nii*"):
        old.unlink()
    path = func / (stem + "_bold" + ending)
    if content is None:
        os.mkfifo(path)
    else:
        path.write_bytes(content)
    return path


def main():
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    bids = small_study()
    func = bids / "sub-1" / "func"
    stem = "sub-1_task-SimA"
    bold = func / (stem + "_bold.nii.gz")
    truth = next((bids / "derivatives" / "cohortix" / "sub-1" / "func").glob("*_desc-regions_dseg.nii.gz"))
    intact = bold.read_bytes()
    raw = gzip.decompress(intact)
    failures = []
    for what, arguments, output in commands(bold, bids, truth):
        done = subprocess.run([COHORTIX, *arguments], capture_output=True, text=True)
        if done.returncode != 0:
            failures.append(f"intact: {what} exit status {done.returncode}: {done.stderr}")
        if output and output.is_file():
            output.unlink()
        elif output:
            shutil.rmtree(output)

    made = cases(raw, intact, bold)
    rows = [line.split("\t") for line in TABLE.read_text().splitlines() if line and not line.startswith("#")]
    assert sorted(name for name, _ in rows) == sorted(made), "the table and the cases differ"
    for name, fault in rows:
        content, ending, held = made[name]
        path = place(func, stem, content, ending)
        values = {"size": len(content or b""), "held": held, "data": promised_bytes(raw)}
        if name == "gzip-promise-too-large":
            values["data"] = held
        expected = re.compile(r"cohortix: .*cannot read " + re.escape(str(path)) + ": " + fault_pattern(fault, values))
        for what, arguments, output in commands(path, bids, truth):
            if what == "report" and content is None:
                # The report takes a subject without a regular bold file for one an
                # interrupted run left, and names it so on its page.
                continue
            try:
                done = subprocess.run([COHORTIX, *arguments], capture_output=True, text=True, timeout=60)
            except subprocess.TimeoutExpired:
                failures.append(f"{name}: {what} still reading after 60 s")
                continue
            lines = done.stderr.splitlines()
            if done.returncode != 1 or len(lines) != 1 or not expected.fullmatch(lines[0]):
                failures.append(f"{name}: {what} exit status {done.returncode}, messages {lines}")
            if output and output.exists() and any(p.is_file() for p in [output, *output.rglob("*")]):
                failures.append(f"{name}: {what} wrote {output}")
            if output:
                shutil.rmtree(output, ignore_errors=True) if output.is_dir() else output.unlink(missing_ok=True)
        path.unlink()
    # With --skip-damaged the damaged subject is left out, and said to be, and the
    # others analysed.
    path = place(func, stem, made["gzip-stream-cut"][0], ".nii.gz")
    done = subprocess.run([COHORTIX, "analyze", str(bids), "-o", str(TMP / "analysis"), "--skip-damaged"],
                          capture_output=True, text=True)
    lines = done.stderr.splitlines()
    if done.returncode != 0 or len(lines) != 1 or not lines[0].startswith(
            f"warning: left out sub-1: cannot read {path}: the gzip stream is cut short after "):
        failures.append(f"--skip-damaged: analyze exit status {done.returncode}, messages {lines}")
    else:
        summary = json.loads((TMP / "analysis" / "analysis.json").read_text())
        fitted = [row.split("\t")[0] for row in (TMP / "analysis" / "subjects.tsv").read_text().splitlines()[1:]]
        if [s["Subject"] for s in summary["SkippedSubjects"]] != ["sub-1"] or fitted != ["sub-2", "sub-3", "sub-4"]:
            failures.append(f"--skip-damaged: skipped {summary['SkippedSubjects']}, fitted {fitted}")
    shutil.rmtree(TMP / "analysis", ignore_errors=True)
    # `report` stops with the damaged subject named, or with --skip-damaged leaves
    # it out and says so on standard error and on the page.
    page = TMP / "report.html"
    done = subprocess.run([COHORTIX, "report", str(bids), "-o", str(page)], capture_output=True, text=True)
    if done.returncode != 1 or not done.stderr.startswith(
            f"cohortix: cannot make the report of {bids}: subject sub-1: cannot read {path}: ") or page.exists():
        failures.append(f"report of a damaged subject: exit status {done.returncode}: {done.stderr}")
    done = subprocess.run([COHORTIX, "report", str(bids), "-o", str(page), "--skip-damaged"], capture_output=True,
                          text=True)
    lines = done.stderr.splitlines()
    left_out = f"sub-1: cannot read {path}: the gzip stream is cut short after "
    if done.returncode != 0 or len(lines) != 1 or not lines[0].startswith("warning: left out " + left_out):
        failures.append(f"report --skip-damaged: exit status {done.returncode}, messages {lines}")
    elif ("3 of 4 subjects complete; left out as damaged: " + left_out) not in page.read_text():
        failures.append("report --skip-damaged: the page does not say which subject was left out")
    page.unlink(missing_ok=True)
    path.unlink()

    # A bold volume that is a link to a file outside the dataset, whole as it is,
    # is not analysed: the dataset would not be the data analysed.
    outside = TMP / "outside_bold.nii.gz"
    outside.write_bytes(intact)
    bold.symlink_to(outside)
    done = subprocess.run([COHORTIX, "analyze", str(bids), "-o", str(TMP / "analysis")], capture_output=True,
                          text=True)
    if done.returncode != 1 or done.stderr != f"cohortix: cannot read {bold}: it leads outside the dataset, to {outside}\n":
        failures.append(f"link out of the dataset: analyze exit status {done.returncode}: {done.stderr}")
    bold.unlink()
    bold.write_bytes(intact)

    # `info` of a subject's truth, and of one whose region line runs to megabytes,
    # which a recursive pattern matcher would follow off the end of the stack.
    summary = next(truth.parent.glob("*_desc-truth_summary.json"))
    done = subprocess.run([COHORTIX, "info", str(summary)], capture_output=True, text=True)
    if done.returncode != 0 or not re.search(r"\n  region 1: centre \[-?\d+, -?\d+, -?\d+\] mm, \d+ voxels "
                                             r"written, \d+ overwritten\n", done.stdout):
        failures.append(f"truth: info exit status {done.returncode}: {done.stdout} {done.stderr}")
    text = summary.read_text()
    long_line = TMP / "long_truth.json"
    long_line.write_text(text.replace('"Region": 1, ', '"Region": 1, "Note": "' + "x" * 4000000 + '", ', 1))
    done = subprocess.run([COHORTIX, "info", str(long_line)], capture_output=True, text=True)
    if done.returncode != 0 or "region 1: centre" not in done.stdout:
        failures.append(f"long truth line: info exit status {done.returncode}: {done.stderr}")
    assert not failures, "\n".join(failures)
    print(f"{len(rows)} damaged images refused by info, noise-stats, score, analyze and report")


main()
