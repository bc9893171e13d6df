"""Signals during a run of the full-brain example. SIGINT, SIGTERM and SIGHUP end
the command promptly with status 130, 143 and 129 and one line saying so, even when
nobody reads its standard output. No temporary file is left behind, neither of a
VTC nor of a NIfTI export, every file under a final name is whole, and a subject's
VTC never stands without its protocol and design matrix. A file grown past the
size limit (ulimit -f) is a write error naming the file; a reader of the output
that goes away is reported once and the run goes on. What SIGKILL leaves, the next
run of the study removes, and says so.

The moment of a signal is pinned down without a race: the run is frozen with
SIGSTOP, the signal sent only once the folder shows the write under way, and the
run then let go on."""

import fcntl
import filecmp
import os
import pathlib
import resource
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from output_files import incomplete_files  # noqa: E402

COHORTIX = os.environ["COHORTIX"]
EXAMPLES = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"]) / "examples"
STUDY = str(EXAMPLES / "full-brain.cxd")
SMALL_STUDY = str(EXAMPLES / "noise-free.cxd")
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
TEMPORARY_PREFIX = ".cohortix-"
failures = []


def fail(text):
    print("FAIL:", text, file=sys.stderr)
    sys.exit(1)


def names(folder):
    return [path.name for path in folder.iterdir()] if folder.exists() else []


def temporaries(folder):
    return [n for n in names(folder) if n.startswith(TEMPORARY_PREFIX) or ".tmp" in n or ".partial" in n]


def writing(suffix):
    return lambda folder: any(n.startswith(TEMPORARY_PREFIX) and n.endswith(suffix)
                              for n in names(folder))


def start(folder, options=(), stdout=subprocess.DEVNULL, study=STUDY):
    return subprocess.Popen([COHORTIX, "run", study, "-o", str(folder), *options],
                            stdout=stdout, stderr=subprocess.PIPE, text=True)


def freeze_during(process, folder, moment):
    """Freezes the run at a moment when the folder shows `moment`; fails when the
    run ends first."""
    while process.poll() is None:
        if moment(folder):
            process.send_signal(signal.SIGSTOP)
            # Stopped now: what the folder shows stays as it is until SIGCONT.
            if moment(folder):
                return
            process.send_signal(signal.SIGCONT)
        time.sleep(0.001)
    fail(f"the run in {folder.name} ended before the moment to stop it")


def finish(process, name, seconds=30):
    try:
        _, errors = process.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        fail(f"the run went on for {seconds} s after {name}")
    return errors


def check_leftovers(folder, name):
    left = names(folder)
    if temporaries(folder):
        failures.append(f"{name}: temporaries left: {temporaries(folder)}")
    broken = incomplete_files(folder)
    if broken:
        failures.append(f"{name}: files left that are not whole: {broken}")
    for vtc in (n for n in left if n.endswith(".vtc")):
        for extension in (".prt", ".rtc"):
            if vtc[:-4] + extension not in left:
                failures.append(f"{name}: {vtc} without {vtc[:-4] + extension}")
    return set(left)


def check_one_line(errors, name, status, returncode):
    if returncode != status:
        failures.append(f"{name}: exit status {returncode}, expected {status}; stderr: {errors!r}")
    lines = errors.splitlines()
    if len(lines) != 1 or f"interrupted by {name}" not in lines[0]:
        failures.append(f"{name}: expected one line telling of the interruption, found: {errors!r}")


def interrupt(folder, signum, moment, status, options=()):
    name = signal.Signals(signum).name
    process = start(folder, ["--quiet", *options])
    freeze_during(process, folder, moment)
    process.send_signal(signum)
    process.send_signal(signal.SIGCONT)
    check_one_line(finish(process, name), name, status, process.returncode)
    return check_leftovers(folder, name)


def interrupt_with_stalled_output(folder):
    """Nobody reads the log: the run blocks writing it, and SIGINT still ends it."""
    read, write = os.pipe()
    fcntl.fcntl(write, 1031, 4096)  # F_SETPIPE_SZ: the smallest pipe fills soonest
    process = start(folder, stdout=write)
    os.close(write)
    freeze_during(process, folder, writing(".vtc"))
    began = time.monotonic()
    process.send_signal(signal.SIGINT)
    process.send_signal(signal.SIGCONT)
    # A hang test, not a timing test: a loaded machine takes well under this.
    errors = finish(process, "SIGINT with a stalled output", seconds=10)
    os.close(read)
    check_one_line(errors, "SIGINT", 130, process.returncode)
    if time.monotonic() - began > 10:
        failures.append("SIGINT with a stalled output took more than 10 s")
    check_leftovers(folder, "SIGINT with a stalled output")


def kill_and_rerun(folder):
    process = start(folder, ["--quiet"])
    freeze_during(process, folder, writing(".vtc"))
    process.kill()
    process.communicate()
    left = temporaries(folder)
    if not left:
        failures.append("SIGKILL: no temporary left to clean up (the test pinned none)")
    rerun = subprocess.run([COHORTIX, "run", SMALL_STUDY, "-o", str(folder), "--quiet"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=600)
    if temporaries(folder) != left:
        failures.append("a run of another study removed the killed run's temporaries")
    # The killed run's finished files are replaced whole.
    process = start(folder, ["--quiet", "--force"])
    first = process.stderr.readline()
    process.send_signal(signal.SIGTERM)
    errors = finish(process, "SIGTERM")
    if f"removed {len(left)} temporary file" not in first:
        failures.append(f"rerun after SIGKILL: expected a line of {len(left)} removed, found {first!r}")
    check_one_line(errors, "SIGTERM", 143, process.returncode)
    if rerun.returncode != 0:
        failures.append(f"run of another study: status {rerun.returncode}: {rerun.stderr!r}")
    check_leftovers(folder, "rerun after SIGKILL")


def file_size_limit(folder):
    """ulimit -f: no VTC fits, the protocols and design matrices do."""
    def limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))
    run = subprocess.run([COHORTIX, "run", SMALL_STUDY, "-o", str(folder), "--quiet"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                         timeout=600, preexec_fn=limit)
    if run.returncode != 4:
        failures.append(f"ulimit -f: status {run.returncode}, expected 4: {run.stderr[:300]!r}")
    if "cohortix: cannot write S1_G1_NoiseFree.vtc: File too large" not in run.stderr.splitlines():
        failures.append(f"ulimit -f: the VTC is not named: {run.stderr[:300]!r}")
    check_leftovers(folder, "ulimit -f")


def reader_gone(folder):
    """The log goes to a reader that closes its end at once."""
    read, write = os.pipe()
    os.close(read)
    run = subprocess.run([COHORTIX, "run", SMALL_STUDY, "-o", str(folder)],
                         stdout=write, stderr=subprocess.PIPE, text=True, timeout=600)
    os.close(write)
    lines = run.stderr.splitlines()
    if run.returncode != 0 or lines[:1] != ["cohortix: cannot write to the standard output: Broken pipe"] \
            or len(lines) != 2 or "subjects simulated" not in lines[1]:
        failures.append(f"closed output: status {run.returncode}, messages {lines}")
    check_leftovers(folder, "closed output")


shutil.rmtree(TMP, ignore_errors=True)
TMP.mkdir(parents=True)
during_write = interrupt(TMP / "sigint", signal.SIGINT, writing(".vtc"), 130)
during_export = interrupt(TMP / "sigterm", signal.SIGTERM, writing(".nii"), 143, ["--nifti"])
interrupt(TMP / "sighup", signal.SIGHUP, writing(".vtc"), 129)
# (The runs' records differ: their times and options.)
for name in (during_write & during_export) - {"cohortix-run.json"}:
    if not filecmp.cmp(TMP / "sigint" / name, TMP / "sigterm" / name, shallow=False):
        failures.append(f"{name} differs between the two interrupted runs")
interrupt_with_stalled_output(TMP / "stalled")
kill_and_rerun(TMP / "killed")
file_size_limit(TMP / "ulimit")
reader_gone(TMP / "reader-gone")
if failures:
    print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
    sys.exit(1)
shutil.rmtree(TMP, ignore_errors=True)
print("signals end runs with their own status and one line, and leave only whole files")
