"""What `cohortix check` and `cohortix run` say about control files that read but are
surely not what their author meant, and what they refuse before a run: the exact
warning texts with file:line, --strict, --json (parsed here), negative counts that
leave nothing on disk, names that are not UTF-8, names too long for the exports,
runs too long for NIfTI, the reader's texts that name no place, and binary files."""

import json
import os
import pathlib
import shutil
import subprocess
import sys

SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
FIXTURE = (SOURCE / "tests" / "data" / "two-by-two.cxd").read_bytes()
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def study(name, *edits, append=b""):
    """The two-by-two fixture with its region well inside the box, one subject per
    group, and the given (old, new) byte edits; written to TMP/NAME.cxd."""
    text = FIXTURE.replace(b"Center: 30 -20 10", b"Center: 0 -20 10")
    text = text.replace(b"SubjectsPerGroup: 5", b"SubjectsPerGroup: 1")
    for old, new in edits:
        assert old in text, old
        text = text.replace(old, new, 1)
    path = TMP / (name + ".cxd")
    path.write_bytes(text + append)
    return path


def cohortix(*args, cwd=None):
    process = subprocess.run([COHORTIX, *map(str, args)], capture_output=True, cwd=cwd,
                             timeout=120)
    return (process.returncode, process.stdout.decode("utf-8", "replace"),
            process.stderr.decode("utf-8", "replace").splitlines())


shutil.rmtree(TMP, ignore_errors=True)
TMP.mkdir(parents=True)

# A clean study: no warning, status 0, the box in Talairach mm, radius in mm.
clean = study("clean")
status, out, err = cohortix("check", clean)
expect(status == 0 and err == [], f"clean study: status {status}, messages {err}")
expect("VTC box in Talairach space: x -32..28, y -52..68, z -24..78 mm" in out.splitlines(),
       "summary lacks the box's Talairach extent")
expect("radius 3 voxels (9 mm)" in out, "summary lacks the radius in voxels and mm")

# Every warning at once, each on its own line, in line order.
odd = study("odd",
            (b"BoxZ: 100 160\nBoxX: 60 180", b"BoxX: 60 180\nBoxZ: 100 160"),
            (b'"Hard"', b'"Easy"'),
            (b"TrialVolumes: 6", b"TrialVolumes: 0"),
            (b"NoisePercent: 1.5", b"NoisePercent: -1.5"),
            (b"Center: 0 -20 10", b"Center: 90 -20 10"),
            append=b"7\n")
f = str(odd)
warnings = [
    f'{f}:9: level 2 of within factor 1 is named "Easy" like level 1: their conditions share '
    'one name',
    f'{f}:23: trials of 0 volumes: every predictor is zero and no effect reaches the data',
    f'{f}:27: the label "BoxX:" is that of the VTC box along X, but this item is read as the '
    'VTC box along Z: values are read by their position, not by their label',
    f'{f}:28: the label "BoxZ:" is that of the VTC box along Z, but this item is read as the '
    'VTC box along X: values are read by their position, not by their label',
    f'{f}:35: the noise SD is negative (-1.5); a spread below 0 is used as given',
    f'{f}:37: region 1 (Talairach 90, -20, 10, radius 3) lies entirely outside the VTC box: '
    'its sphere is 4 voxels (12 mm) beyond the box along VTC z (Talairach x); it adds nothing '
    'to the data',
    f'{f}:45: text after the last effect value is never read: "7"; has the last effect table '
    'a value too many?',
]
status, out, err = cohortix("check", odd)
expect(status == 0, f"warnings alone: status {status}")
expect(err == ["warning: " + w for w in warnings], "warnings differ:\n" + "\n".join(err))
status, _, strict_err = cohortix("check", "--strict", odd)
expect(status == 1 and strict_err == err, f"--strict: status {status}")

status, out, err = cohortix("check", "--json", odd)
summary = json.loads(out)
expect(status == 0 and summary["warnings"] == warnings, f"--json warnings: {summary['warnings']}")
expect(summary["experiment"] == "SimA" and summary["volumes"] == 4 + 12 * 0 + 13 * 10 + 6,
       "--json counts")
expect(summary["conditions"] == ["Easy x Left", "Easy x Left", "Easy x Right", "Easy x Right"],
       f"--json conditions {summary['conditions']}")
region = summary["regions"][0]
expect(region["radius_voxels"] == 3 and region["radius_mm"] == 9 and
       region["effects"] == [[2, 1, 2.5, 1.5], [1, 0.5, 1.5, 1]], f"--json region {region}")
expect(summary["box"]["talairach_mm"] == {"x": [-52, 68], "y": [-32, 28], "z": [-24, 78]},
       f"--json box {summary['box']}")

# The fixture's own region: half a sphere on the edge of the box.
status, _, err = cohortix("check", SOURCE / "tests" / "data" / "two-by-two.cxd")
expect(err == [f"warning: {SOURCE / 'tests' / 'data' / 'two-by-two.cxd'}:37: region 1 "
               "(Talairach 30, -20, 10, radius 3) lies partly outside the VTC box: its sphere "
               "reaches 4 voxels (12 mm) beyond the box along VTC z (Talairach x)"],
       f"two-by-two: {err}")

# A run prints the same warnings first, then runs as the plug-in decides.
status, _, err = cohortix("run", odd, "-o", TMP / "odd-out", "--quiet")
expect(status == 0 and err[:len(warnings)] == ["warning: " + w for w in warnings],
       f"run warnings: status {status}, {err}")
expect(len(list((TMP / "odd-out").glob("*.vtc"))) == 2, "the run with warnings wrote no VTCs")

# Negative counts: refused on their own line; a run leaves nothing on disk.
for old, new, line, what in [
        (b"SubjectsPerGroup: 1", b"SubjectsPerGroup: -5", 21, "subjects per group, found -5"),
        (b"RestVolumes: 10", b"RestVolumes: -10", 20, "volumes of each rest period, found -10"),
        (b"PostVolumes: 6", b"PostVolumes: -1", 26,
         "volumes after the last protocol interval, found -1")]:
    path = study("negative", (old, new))
    message = f"{path}:{line}: expected 0 or more {what}"
    status, out, err = cohortix("check", path)
    expect(status == 1 and err == [message] and out == "", f"check {new}: {status} {err}")
    work = TMP / "work"
    work.mkdir()
    status, _, err = cohortix("run", path.resolve(), "-o", "out", cwd=work)
    expect(status == 1 and err == [message], f"run {new}: {status} {err}")
    expect(list(work.iterdir()) == [], f"run {new} left {list(work.iterdir())}")
    shutil.rmtree(work)

# The reader's texts that name no place: check adds the item's line, a run shows the
# text alone.
unbalanced = study("unbalanced", (b"Balanced: Y", b"Balanced: yes"))
status, _, err = cohortix("check", unbalanced)
expect(status == 1 and err == ["Unbalanced designs not yet supported!",
                               f"{unbalanced}:18: the balanced-design flag does not begin "
                               "with 'Y'"], f"check unbalanced: {err}")
status, _, err = cohortix("run", unbalanced.resolve(), "-o", TMP / "unbalanced-out")
expect(status == 1 and err == ["Unbalanced designs not yet supported!"], f"run unbalanced: {err}")
newer = study("newer", (b"Version: 1", b"Version: 2"))
status, _, err = cohortix("check", newer)
expect(err == ["INFO - New CXD File Format, use updated plugin.",
               f"{newer}:1: the format version is above 1"], f"check version 2: {err}")

# A level name in Latin-1: refused by check and by run, with the byte and its offset.
latin1 = study("latin1", (b'"Easy"', b'"Caf\xe9"'))
offset = latin1.read_bytes().index(b"Caf\xe9") + 3
message = (f'{latin1.resolve()}:8: expected the name of level 1 of within factor 1 in UTF-8, '
           f'found "Caf\\xe9" (byte 0xe9 at offset {offset} is not UTF-8)')
status, _, err = cohortix("check", latin1.resolve())
expect(status == 1 and err == [message], f"check Latin-1: {err}")
status, _, err = cohortix("run", latin1.resolve(), "-o", TMP / "latin1-out")
# A refusal before the run starts has its own status.
expect(status == 5 and err == [message] and not (TMP / "latin1-out").exists(),
       f"run Latin-1: {status} {err}")

# An experiment name the native files take but the exports' names do not.
longer = study("longer-name", (b'"SimA"', b'"' + b"a" * 228 + b'"'))
status, _, err = cohortix("check", longer)
expect(status == 1 and err == [
    f'{longer}:5: expected an experiment name that keeps the file names of --nifti and '
    '--bids within 239 bytes, found "sub-2_task-' + "a" * 29 + '..." of 266 bytes'],
    f"check 228-character name: {err}")

# More volumes than a NIfTI-1 file holds: a warning for check and a plain run, a
# refusal for --nifti before anything is written.
long_run = study("long-run", (b"TrialVolumes: 6", b"TrialVolumes: 3000"),
                 (b"BoxZ: 100 160\nBoxX: 60 180\nBoxY: 50 152",
                  b"BoxZ: 124 130\nBoxX: 124 130\nBoxY: 124 130"),
                 (b"Center: 0 -20 10", b"Center: 0 0 0"), (b"Radius: 3", b"Radius: 0"))
volumes = 4 + 12 * 3000 + 13 * 10 + 6
message = (f"{long_run}:26: a run of {volumes} volumes: a NIfTI-1 file holds at most 32767, "
           "so --nifti and --bids cannot write this study")
status, _, err = cohortix("check", long_run)
expect(status == 0 and err == ["warning: " + message], f"check long run: {err}")
status, _, err = cohortix("run", long_run, "--nifti", "-o", TMP / "long-nifti")
expect(status == 5 and err == [message] and not (TMP / "long-nifti").exists(),
       f"run --nifti long run: {status} {err}")
status, _, err = cohortix("run", long_run, "--quiet", "-o", TMP / "long-plain")
expect(status == 0 and err == ["warning: " + message], f"plain long run: {status} {err}")

# Not a text file: one line, no raw bytes.
binary = TMP / "binary.cxd"
binary.write_bytes(b"Version: 1\n\x00\x01\xff" * 100)
status, out, err = cohortix("check", binary)
expect(status == 1 and out == "" and err == [
    f"cohortix: {binary} is not a text file (byte 0x00 at offset 11); a control file is plain "
    "text"], f"binary file: {err}")

if failures:
    print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
    sys.exit(1)
shutil.rmtree(TMP, ignore_errors=True)
print("check and run warn, refuse and summarise as documented")
