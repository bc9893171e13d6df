"""Output folders that fail the run. One that cannot be created, one on a
read-only file system and one on a file system without room for the volumes the
run is sure to write are refused before the run with status 5, saying why. A disk
that fills during a run all the same (a small tmpfs, which needs root; skipped
with a note otherwise: here the compressed --nifti copies, whose size is not known
beforehand, fill it) ends it with status 4 naming each file that could not be
written and why, leaves no temporary and no partial file under a final name, and
keeps the files written before it filled byte for byte as a run on a roomy disk
writes them. The same holds
for a `--bids --gzip` dataset on a disk that fills: every compressed volume there is
whole, and the dataset says it is unfinished."""

import filecmp
import os
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from output_files import incomplete_files  # noqa: E402

COHORTIX = os.environ["COHORTIX"]
STUDY = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "data", "two-by-two.cxd")
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
failures = []


def run(folder, *extra):
    process = subprocess.run([COHORTIX, "run", STUDY, "-o", str(folder), "--quiet", *extra],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                             timeout=600)
    # The study's region lies half outside its box, which the run warns about first.
    return process.returncode, [m for m in process.stderr.splitlines()
                                if not m.startswith("warning: ")]


def mount_tmpfs(folder, options):
    folder.mkdir(parents=True)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(folder)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    if not mounted:
        print(f"NOTE: skipped {folder.name}: cannot mount a tmpfs here (needs root)")
    return mounted


def unmount(folder):
    subprocess.run(["umount", str(folder)], check=False)


def check_uncreatable_folder():
    blocker = TMP / "a-file"
    blocker.write_text("not a folder\n")
    code, messages = run(blocker / "out")
    expected = f"cohortix: cannot create the output folder {blocker / 'out'}: Not a directory"
    if code != 5 or messages != [expected]:
        failures.append(f"uncreatable folder: status {code}, messages {messages}")


def check_read_only_folder():
    folder = TMP / "read-only"
    if not mount_tmpfs(folder, "ro,size=1m"):
        return
    try:
        code, messages = run(folder)
        if code != 5 or not any("Read-only file system" in m for m in messages):
            failures.append(f"read-only folder: status {code}, messages {messages[:3]}")
        if any(folder.iterdir()):
            failures.append(f"read-only folder: files in it: {list(folder.iterdir())}")
    finally:
        unmount(folder)


def check_disk_filling(reference):
    folder = TMP / "full"
    # Room for the ten subjects' VTCs of 23 MB each (all the run is sure to
    # write), not for their compressed NIfTI copies as well.
    if not mount_tmpfs(folder, "size=300m"):
        return
    try:
        code, messages = run(folder, "--nifti", "--gzip")
        left = sorted(path.name for path in folder.iterdir())
        if code != 4:
            failures.append(f"full disk: status {code}, expected 4")
        if not any(m.startswith("cohortix: cannot write ") and m.endswith(": No space left on device")
                   for m in messages):
            failures.append(f"full disk: no file reported as not written: {messages[:4]}")
        summary = [m for m in messages if "of the run's files could not be written" in m]
        expected = sorted(path.name for path in reference.iterdir() if not path.name.startswith("cohortix-run"))
        missing = [name for name in expected if name not in left]
        if not missing or len(summary) != 1 or not all(name in summary[0] for name in missing):
            failures.append(f"full disk: summary {summary} does not name {missing}")
        broken = incomplete_files(folder)
        if broken:
            failures.append(f"full disk: files not whole: {broken}")
        for name in left:
            if name in expected and not filecmp.cmp(folder / name, reference / name, shallow=False):
                failures.append(f"full disk: {name} not as on a roomy disk")
        if "S1_G1_SimA.vtc" not in left:
            failures.append(f"full disk: not even the first subject written: {left}")
    finally:
        unmount(folder)


def check_disk_without_room():
    folder = TMP / "small"
    if not mount_tmpfs(folder, "size=60m"):
        return
    try:
        code, messages = run(folder)
        if code != 5 or len(messages) != 1 or "no room to write" not in messages[0] or any(folder.iterdir()):
            failures.append(f"small disk: status {code}, messages {messages}, left {list(folder.iterdir())}")
    finally:
        unmount(folder)


def check_dataset_disk_filling():
    folder = TMP / "full-bids"
    # Room for the dataset's first subjects, not for all ten.
    if not mount_tmpfs(folder, "size=60m"):
        return
    try:
        process = subprocess.run([COHORTIX, "run", STUDY, "-o", str(TMP / "beside-full-bids"),
                                  "--bids", str(folder / "bids"), "--gzip", "--quiet"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                 timeout=600)
        messages = process.stderr.splitlines()
        if process.returncode != 4:
            failures.append(f"full dataset disk: status {process.returncode}, expected 4")
        if not any(".nii.gz: No space left on device" in m for m in messages):
            failures.append(f"full dataset disk: no volume named as not written: {messages[:4]}")
        bids = folder / "bids"
        volumes = sorted(bids.glob("sub-*/func/*.nii.gz"))
        if not volumes:
            failures.append("full dataset disk: no subject written before the disk filled")
        for volume in volumes:
            if subprocess.run(["gzip", "-t", str(volume)]).returncode != 0:
                failures.append(f"full dataset disk: {volume.name} is not whole")
        strays = [p.name for p in bids.rglob("*") if p.is_file() and p.name.startswith(".")]
        if strays:
            failures.append(f"full dataset disk: temporaries left: {strays}")
        if not (bids / "derivatives" / "cohortix" / "cohortix-incomplete").is_file():
            failures.append("full dataset disk: the dataset is not marked unfinished")
    finally:
        unmount(folder)


shutil.rmtree(TMP, ignore_errors=True)
TMP.mkdir(parents=True)
check_dataset_disk_filling()
check_uncreatable_folder()
check_read_only_folder()
reference = TMP / "reference"
code, messages = run(reference, "--nifti", "--gzip")
if code != 0:
    failures.append(f"reference run: status {code}, messages {messages}")
check_disk_filling(reference)
check_disk_without_room()
if failures:
    print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
    sys.exit(1)
shutil.rmtree(TMP, ignore_errors=True)
print("failing output folders and a filling disk end with status 4 and whole files")
