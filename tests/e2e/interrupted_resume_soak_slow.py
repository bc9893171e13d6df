"""A soak of interrupted runs: a study of 200 small subjects is stopped at random
moments by SIGINT, SIGTERM or SIGKILL twenty times, each time taken up again (a
BIDS dataset with --resume, a run's native files with --force), and then run to
its end. What is left is byte for byte what one uninterrupted run writes, and no
temporary file remains."""

import os
import pathlib
import random
import re
import shutil
import signal
import subprocess
import time

SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGKILL)
INTERRUPTIONS = 20


def study():
    """The two-by-two example with 100 subjects a group in a box of 6 x 6 x 6 voxels."""
    text = (SOURCE / "tests" / "data" / "two-by-two.cxd").read_text()
    for item, value in (("SubjectsPerGroup", "100"), ("BoxZ", "95 113"), ("BoxX", "140 158"),
                        ("BoxY", "110 128")):
        text = re.sub(rf"^{item}:.*$", f"{item}: {value}", text, flags=re.M)
    control = TMP / "soak.cxd"
    control.write_text(text)
    return control


MARKER = pathlib.Path("derivatives", "cohortix", "cohortix-incomplete")


def run(arguments):
    started = time.monotonic()
    done = subprocess.run([COHORTIX, "run", *arguments, "--quiet"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True, timeout=600)
    assert done.returncode == 0, (arguments, done.returncode, done.stderr)
    return time.monotonic() - started


def files(folder):
    return {str(path.relative_to(folder)): path.read_bytes()
            for path in sorted(folder.rglob("*")) if path.is_file()}


def interrupted(arguments, rng, seconds, kind):
    """Runs until the signal `kind` at a random moment of a run's length; whether
    it stopped the run (False: the run had ended, and well)."""
    process = subprocess.Popen([COHORTIX, "run", *arguments, "--quiet"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    try:
        _, errors = process.communicate(timeout=rng.uniform(0.02, seconds))
        assert process.returncode == 0, (arguments, process.returncode, errors)
        return False
    except subprocess.TimeoutExpired:
        process.send_signal(kind)
    _, errors = process.communicate(timeout=120)
    expected = {signal.SIGINT: 130, signal.SIGTERM: 143, signal.SIGKILL: -signal.SIGKILL}[kind]
    assert process.returncode in (expected, 0), (arguments, kind, process.returncode, errors)
    return process.returncode == expected


def check_whole(label, output, reference):
    left = files(output)
    temporaries = [name for name in left if pathlib.Path(name).name.startswith(".cohortix-")]
    assert not temporaries, (label, temporaries)
    # The run record says when and how its run was made: its times are its own.
    record = {n for n in set(left) | set(reference) if pathlib.Path(n).name == "cohortix-run.json"}
    differing = sorted((set(left) ^ set(reference) |
                        {n for n in set(left) & set(reference) if left[n] != reference[n]}) - record)
    assert all(n in left for n in record) == all(n in reference for n in record), (label, "records")
    assert not differing, (label, differing[:10])


def soak(label, first, again, output, reference, seconds, rng):
    """Interrupts, takes up again; a run that ends before its signal must have
    written the whole study, and the next starts afresh."""
    stops = 0
    arguments = first
    while stops < INTERRUPTIONS:
        if interrupted(arguments, rng, seconds, SIGNALS[stops % len(SIGNALS)]):
            stops += 1
            arguments = again
            if label == "BIDS" and output.exists() and any(output.iterdir()) and not (output / MARKER).exists():
                # Stopped once its last subject was in place (its record being
                # written): the dataset is finished and whole, nothing to resume.
                check_whole(label, output, reference)
                shutil.rmtree(output)
                arguments = first
        else:
            check_whole(label, output, reference)
            shutil.rmtree(output)
            arguments = first
    run(again)
    check_whole(label, output, reference)


def main():
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    control = str(study())
    rng = random.Random(20261209)

    bids_arguments = [control, "--no-native", "--bids", str(TMP / "bids"), "--gzip", "--resume"]
    seconds = run([control, "--no-native", "--bids", str(TMP / "reference-bids"), "--gzip"])
    soak("BIDS", bids_arguments, bids_arguments, TMP / "bids", files(TMP / "reference-bids"), seconds, rng)

    seconds = run([control, "-o", str(TMP / "reference-native")])
    native = [control, "-o", str(TMP / "native")]
    soak("native", native, native + ["--force"], TMP / "native", files(TMP / "reference-native"), seconds, rng)
    print(f"{INTERRUPTIONS} interruptions of a BIDS run and of a native run, each ending as if uninterrupted")


main()
