"""Damaged JSON files through every command that reads them. A small study is run
with its truth into native files (and their run record); then each case below
replaces the run record or the first subject's truth JSON with a damaged copy
(cut short, bytes that are not UTF-8, a key twice, nesting far too deep, a file
too large for its kind, a field of another type), and `info` of the file,
`report` of the run and, for the record, `analyze` and `rerun` must each exit
with status 1 and one line naming the file and the fault, with nothing written.
An image's sidecar goes through the same reader for `score` and `noise-stats`:
one whose text runs to megabytes on one line (a pattern matcher that recurses per
character would overflow the stack) is read, and a damaged one is refused."""

import os
import pathlib
import re
import shutil
import subprocess

import nibabel as nib
import numpy as np

SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
POSITION = r"line \d+, column \d+ \(byte \d+\): "


def small_run():
    """The two-by-two example with two subjects a group in a small box."""
    text = (SOURCE / "tests" / "data" / "two-by-two.cxd").read_text()
    for item, value in (("SubjectsPerGroup", "2"), ("BoxZ", "80 120"), ("BoxX", "130 169"),
                        ("BoxY", "100 136")):
        text = re.sub(rf"^{item}:.*$", f"{item}: {value}", text, flags=re.M)
    control = TMP / "small.cxd"
    control.write_text(text)
    done = subprocess.run([COHORTIX, "run", str(control), "-o", str(TMP / "native"), "--truth", "--quiet"],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return TMP / "native"


def shared_cases(text, first_key):
    """name -> (the damaged bytes, or an int: the size of a sparse file beginning
    with the text; the fault as a regular expression)."""
    return {
        "cut-short": (text[:len(text) // 2].encode(), POSITION + "syntax error while parsing .*"),
        "empty": (b"", "the file is empty"),
        "not-utf8": (text.encode().replace(b'"', b'"\xff', 1),
                     POSITION + "a string holds bytes that are not UTF-8"),
        "nul-byte": (text.replace(": ", ": \0", 1).encode(), POSITION + "syntax error while parsing .*"),
        "key-twice": (text.replace("{", "{" + f'"{first_key}": 0, ', 1).encode(),
                      f'the top-level object holds the key "{first_key}" twice'),
        "deep-nesting": (text.replace("{", '{"Deep": ' + "[" * 100 + "]" * 100 + ", ", 1).encode(),
                         r"objects and lists nested deeper than 64 levels, at /Deep(/0)+"),
        "million-brackets": (b"[" * 1000000, r"objects and lists nested deeper than 64 levels, at (/0)+"),
        "text-after-value": ((text + "}").encode(), POSITION + "syntax error while parsing value - "
                             r"unexpected '\}'; expected end of input"),
        "many-keys": (text.replace("{", "{" + "".join(f'"k{i}": 0, ' for i in range(200000)), 1).encode(),
                      r"the top-level object holds more than 4096 keys"),
        "number-overflow": (text.replace("{", '{"Huge": 1e999, ', 1).encode(), "number overflow parsing '1e999'"),
    }


def record_cases(text):
    cases = shared_cases(text, "Command")
    cases.update({
        "too-large": (300 << 20, r"the file holds 314572800 bytes, more than any run record \(at most 268435456\)"),
        "key-twice-in-a-file": (re.sub(r'("Bytes": \d+)', r'\1, \1', text, count=1).encode(),
                                'the object at /Files/0 holds the key "Bytes" twice'),
        "mistyped-field": (re.sub(r'"Replicate": \d+', '"Replicate": "0"', text).encode(),
                           'not a run record: "Replicate" is not what a record holds there'),
    })
    return cases


def truth_cases(text):
    cases = shared_cases(text, "Baseline")
    cases.update({
        "too-large": (200 << 20, r"the file holds 209715200 bytes, more than any subject's truth JSON "
                                 r"\(at most 134217728\)"),
        "key-twice-in-a-region": (text.replace('"VoxelsWritten": ', '"VoxelsWritten": 0, "VoxelsWritten": ', 1).encode(),
                                  'the object at /Regions/0 holds the key "VoxelsWritten" twice'),
        "mistyped-field": (re.sub(r'"Baseline": [^,]+', '"Baseline": "high"', text).encode(),
                           r'expected a number within the range of a 32-bit float at /Baseline, found "high"'),
        "centre-of-two": (re.sub(r'"CentreVoxel": \[(-?\d+), (-?\d+), -?\d+\]', r'"CentreVoxel": [\1, \2]', text,
                                 count=1).encode(),
                          r"expected a list of 3 whole numbers at /Regions/0/CentreVoxel, found \[-?\d+,-?\d+\]"),
    })
    return cases


def place(path, content, original):
    path.unlink()
    if isinstance(content, int):
        with open(path, "wb") as out:
            out.write(original.encode())
            out.truncate(content)  # sparse: no disk is used for the rest
    else:
        path.write_bytes(content)


def check(failures, label, what, arguments, path, fault, output):
    done = subprocess.run([COHORTIX, *arguments], capture_output=True, text=True, errors="replace",
                          timeout=120)
    lines = done.stderr.splitlines()
    expected = re.compile(r"cohortix: (.*: )?cannot read " + re.escape(str(path)) + ": " + fault)
    if done.returncode != 1 or len(lines) != 1 or not expected.fullmatch(lines[0]):
        failures.append(f"{label}: {what} exit status {done.returncode}, messages {lines}")
    if output is not None and output.exists():
        failures.append(f"{label}: {what} wrote {output}")
        shutil.rmtree(output) if output.is_dir() else output.unlink()


def main():
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    native = small_run()
    record = native / "cohortix-run.json"
    truth = next(native.glob("S1_G1_*_truth.json"))
    page, analysis, again = TMP / "report.html", TMP / "analysis", TMP / "again"
    commands = {
        record: [("info", ["info", str(record)], None),
                 ("report", ["report", str(native), "-o", str(page)], page),
                 ("analyze", ["analyze", str(native), "-o", str(analysis)], analysis),
                 ("rerun", ["rerun", str(record), "-o", str(again)], again)],
        truth: [("info", ["info", str(truth)], None),
                ("report", ["report", str(native), "-o", str(page)], page)],
    }
    failures = []
    for path in (record, truth):
        for what, arguments, output in commands[path]:
            done = subprocess.run([COHORTIX, *arguments], capture_output=True, text=True)
            if done.returncode != 0:
                failures.append(f"intact {path.name}: {what} exit status {done.returncode}: {done.stderr}")
            if output is not None:
                shutil.rmtree(output) if output.is_dir() else output.unlink(missing_ok=True)
    count = 0
    for path, cases in ((record, record_cases), (truth, truth_cases)):
        original = path.read_text()
        for name, (content, fault) in cases(original).items():
            place(path, content, original)
            for what, arguments, output in commands[path]:
                check(failures, f"{path.name} {name}", what, arguments, path, fault, output)
            count += 1
        path.write_text(original)
    check_sidecars(failures)
    assert not failures, "\n".join(failures)
    print(f"{count} damaged JSON files refused by info, report, analyze and rerun")


def check_sidecars(failures):
    """Long and damaged sidecars of a map for `score` and of a time series for
    `noise-stats`."""
    nib.save(nib.Nifti1Image(np.zeros((4, 4, 4), np.float32), np.eye(4)), TMP / "map.nii")
    series = np.random.default_rng(1).normal(100, 1, (4, 4, 4, 20)).astype(np.float32)
    nib.save(nib.Nifti1Image(series, np.eye(4)), TMP / "series.nii")
    long_name = "t" * 2000000
    (TMP / "map.json").write_text('{"Truth": "' + long_name + '"}')
    done = subprocess.run([COHORTIX, "score", str(TMP / "map.nii")], capture_output=True, text=True)
    if done.returncode != 1 or done.stderr != f"cohortix: cannot read {TMP / long_name}: File name too long\n":
        failures.append(f"long map sidecar: score exit status {done.returncode}: {done.stderr[:200]}")
    (TMP / "series.json").write_text('{"Values": "' + "v" * 2000000 + '"}')
    done = subprocess.run([COHORTIX, "noise-stats", str(TMP / "series.nii")], capture_output=True, text=True)
    if done.returncode != 1 or not done.stderr.startswith(
            f"cohortix: {TMP / 'series.nii'}: expected a time series, found a map: its sidecar series.json says"):
        failures.append(f"long series sidecar: noise-stats exit status {done.returncode}: {done.stderr[:200]}")
    for image, sidecar, arguments in (("map.nii", "map.json", ["score"]), ("series.nii", "series.json", ["noise-stats"])):
        (TMP / sidecar).write_text('{"Values": "a", "Values": "b"}')
        check(failures, f"{sidecar} key-twice", arguments[0], [*arguments, str(TMP / image)], TMP / sidecar,
              'the top-level object holds the key "Values" twice', None)


main()
