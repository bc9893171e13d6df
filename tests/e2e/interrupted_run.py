"""SIGINT or SIGTERM during a run of the full-brain example ends the command
promptly with status 130 or 143 and one line saying so. No temporary file is left
behind, neither of a VTC nor of a NIfTI export, every file under a final name is
whole, and a subject's VTC never stands without its protocol and design matrix."""

import filecmp
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from output_files import incomplete_files  # noqa: E402

COHORTIX = os.environ["COHORTIX"]
STUDY = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "examples", "full-brain.cxd")
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])


def fail(text):
    print("FAIL:", text, file=sys.stderr)
    sys.exit(1)


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.002)
    return False


def names(folder):
    return [path.name for path in folder.iterdir()] if folder.exists() else []


def vtc_being_written(folder):
    return lambda: any(name.startswith(".cohortix-") and name.endswith(".vtc") for name in names(folder))


def nifti_being_written(folder):
    return lambda: any(name.startswith(".cohortix-") and ".nii" in name for name in names(folder))


def interrupt(folder, signum, moment, status, options=()):
    name = signal.Signals(signum).name
    process = subprocess.Popen([COHORTIX, "run", STUDY, "-o", str(folder), "--quiet", *options],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if not wait_for(moment(folder), 300):
        process.kill()
        fail(f"the run never reached the moment to send {name}")
    process.send_signal(signum)
    try:
        _, errors = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        fail(f"the run went on for 30 s after {name}")
    if process.returncode != status:
        fail(f"{name}: exit status {process.returncode}, expected {status}; stderr: {errors}")
    lines = errors.splitlines()
    if len(lines) != 1 or f"interrupted by {name}" not in lines[0]:
        fail(f"{name}: expected one line telling of the interruption, found: {errors!r}")
    broken = incomplete_files(folder)
    if broken:
        fail(f"{name}: files left that are not whole: {broken}")
    left = names(folder)
    for vtc in (n for n in left if n.endswith(".vtc")):
        for extension in (".prt", ".rtc"):
            if vtc[:-4] + extension not in left:
                fail(f"{name}: {vtc} without {vtc[:-4] + extension}")
    return set(left)


shutil.rmtree(TMP, ignore_errors=True)
TMP.mkdir(parents=True)
during_write = interrupt(TMP / "sigint", signal.SIGINT, vtc_being_written, 130)
during_export = interrupt(TMP / "sigterm", signal.SIGTERM, nifti_being_written, 143, ["--nifti"])
for name in during_write & during_export:
    if not filecmp.cmp(TMP / "sigint" / name, TMP / "sigterm" / name, shallow=False):
        fail(f"{name} differs between the two interrupted runs")
shutil.rmtree(TMP, ignore_errors=True)
print("interrupted runs end with 130 and 143 and leave only whole files")
