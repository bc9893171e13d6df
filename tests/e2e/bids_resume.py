"""A `--bids --gzip` run stopped part-way leaves a dataset that says it is
unfinished (a README line, derivatives/cohortix/cohortix-incomplete) and still
passes the BIDS validator; a plain rerun refuses the folder and points at
--resume; --resume checks the subjects already there and writes the rest, to the
same bytes as a run that was never stopped, which is no longer marked, and a
resume stopped again still vouches for the first run's subjects. A resume
with other options, or of a dataset whose participants table lists a subject the
study does not have, is refused (5) before anything is simulated, the dataset as
it was; a complete dataset is refused. `--no-native` writes the dataset alone, the same dataset.
Every .nii.gz is a single gzip member that gzip -t and Python accept, holding the
bytes of the .nii the same run writes uncompressed with --nifti."""
import filecmp
import glob
import gzip
import json
import os
import shutil
import signal
import subprocess
import sys
import time

import xxhash

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import bids_validator_issues, example, fresh_folder, run_cohortix  # noqa: E402

STUDY = example("two-by-two")
MARKER = os.path.join("derivatives", "cohortix", "cohortix-incomplete")
failures = []


RECORD = os.path.join("code", "cohortix-run.json")


def files_of(folder):
    return sorted(os.path.relpath(path, folder)
                  for path in glob.glob(os.path.join(folder, "**"), recursive=True)
                  if os.path.isfile(path))


def same_tree(left, right):
    """The same files with the same bytes, but for the runs' records (their times)."""
    names = [name for name in files_of(left) if name != RECORD]
    if names != [name for name in files_of(right) if name != RECORD]:
        return f"files differ: {set(names) ^ set(files_of(right))}"
    unequal = [n for n in names if not filecmp.cmp(os.path.join(left, n), os.path.join(right, n),
                                                   shallow=False)]
    return f"bytes differ: {unequal[:4]}" if unequal else None


def marked(bids):
    readme = open(os.path.join(bids, "README"), encoding="utf-8").read()
    return os.path.exists(os.path.join(bids, MARKER)), "INCOMPLETE" in readme


def listed(bids):
    try:
        return len(open(os.path.join(bids, "participants.tsv")).read().splitlines()) - 1
    except OSError:
        return 0


def interrupted_run(bids, out, *extra, subjects=3):
    """Stops a run with SIGINT once `subjects` of its ten subjects are in the dataset."""
    command = [os.environ["COHORTIX"], "run", STUDY, "-o", out, "--bids", bids, "--gzip", "-q", *extra]
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while process.poll() is None and listed(bids) < subjects:
        time.sleep(0.002)
    process.send_signal(signal.SIGINT)
    return process.wait(timeout=600)


def check_compressed_volumes(root):
    nifti = fresh_folder("bids_resume", "nifti")
    result = run_cohortix(STUDY, "-o", nifti, "--nifti")
    assert result.returncode == 0, result.stderr
    for volume in glob.glob(os.path.join(root, "sub-*", "func", "*.nii.gz")):
        if subprocess.run(["gzip", "-t", volume]).returncode != 0:
            failures.append(f"gzip -t refuses {volume}")
        data = open(volume, "rb").read()
        decompressor = gzip.zlib.decompressobj(31)
        inner = decompressor.decompress(data)
        if decompressor.unused_data or not decompressor.eof:
            failures.append(f"{volume} is not a single gzip member")
        number = int(os.path.basename(volume).split("_")[0][4:])
        (plain,) = glob.glob(os.path.join(nifti, f"S{number}_G*_*.nii"))
        if inner != open(plain, "rb").read():
            failures.append(f"{volume} does not hold the bytes of {plain}")


def main():
    base = fresh_folder("bids_resume")
    reference = os.path.join(base, "reference")
    result = run_cohortix(STUDY, "-o", os.path.join(base, "ref-native"), "--bids", reference, "--gzip")
    assert result.returncode == 0, result.stderr
    if any(marked(reference)):
        failures.append("a complete dataset is marked unfinished")
    check_compressed_volumes(reference)

    alone = os.path.join(base, "alone")
    alone_out = os.path.join(base, "alone-native")
    result = run_cohortix(STUDY, "-o", alone_out, "--bids", alone, "--gzip", "--no-native")
    if result.returncode != 0 or os.path.exists(alone_out):
        failures.append(f"--no-native: status {result.returncode}, native folder made: "
                        f"{os.path.exists(alone_out)}, {result.stderr}")
    elif same_tree(alone, reference):
        failures.append(f"--no-native dataset: {same_tree(alone, reference)}")

    bids = os.path.join(base, "bids")
    code = interrupted_run(bids, os.path.join(base, "native"))
    if code != 130 or not 0 < listed(bids) < 10:
        failures.append(f"interrupted run: status {code}, {listed(bids)} subjects listed")
    if marked(bids) != (True, True):
        failures.append(f"interrupted dataset not marked (marker, README line): {marked(bids)}")
    issues = [issue["key"] for issue in bids_validator_issues(bids)]
    if issues:
        failures.append(f"the validator finds issues in the unfinished dataset: {issues}")
    # Into a fresh native folder, so the dataset's own refusal is the one said.
    result = run_cohortix(STUDY, "-o", os.path.join(base, "native-rerun"), "--bids", bids, "--gzip")
    if result.returncode != 5 or "--resume" not in result.stderr:
        failures.append(f"rerun without --resume: status {result.returncode}, {result.stderr}")

    # Every mismatch is found before anything is simulated: status 5, the reason,
    # the dataset as it was and no native folder made.
    for name, extra, reason in (
            ("other-level", ["--gzip-level", "3"], "it was begun with --gzip-level 1, this run asks 3"),
            ("other-tr", ["--tr", "1.5"], "it was begun with --tr 2, this run asks 1.5"),
            ("no-truth", ["--no-truth"], "it was begun with --no-truth off, this run asks on"),
            ("extra-row", [], "lists sub-99, a subject the study does not have"),
            ("tampered", [], "_events.tsv is not the file its run wrote")):
        other = os.path.join(base, name)
        shutil.copytree(bids, other)
        if name == "extra-row":
            with open(os.path.join(other, "participants.tsv"), "a") as table:
                table.write("sub-99\tControls\n")
        if name == "tampered":
            (events,) = glob.glob(os.path.join(other, "sub-01", "func", "*_events.tsv"))
            with open(events, "a") as table:
                table.write("99\t1\tExtra\n")
        before = {n: open(os.path.join(other, n), "rb").read() for n in files_of(other)}
        native = os.path.join(base, name + "-native")
        result = run_cohortix(STUDY, "-o", native, "--bids", other, "--gzip", "--resume", *extra)
        after = {n: open(os.path.join(other, n), "rb").read() for n in files_of(other)}
        if result.returncode != 5 or reason not in result.stderr or after != before or os.path.exists(native):
            failures.append(f"resume with {name}: status {result.returncode}, dataset changed {after != before}, "
                            f"native folder made {os.path.exists(native)}, {result.stderr}")

    # A resume stopped in its turn still knows the subjects the first run wrote:
    # one of those changed since is found before anything is simulated.
    again = os.path.join(base, "again")
    shutil.copytree(bids, again)
    first = listed(again)
    code = interrupted_run(again, os.path.join(base, "again-native"), "--resume", subjects=first + 3)
    if code != 130 or not first < listed(again) < 10:
        failures.append(f"interrupted resume: status {code}, {first} then {listed(again)} subjects listed")
    else:
        (events,) = glob.glob(os.path.join(again, "sub-01", "func", "*_events.tsv"))
        with open(events, "a") as table:
            table.write("99\t1\tExtra\n")
        result = run_cohortix(STUDY, "-o", os.path.join(base, "again-native-2"), "--bids", again, "--gzip",
                              "--resume")
        if result.returncode != 5 or "_events.tsv is not the file its run wrote" not in result.stderr:
            failures.append(f"resume after a stopped resume, sub-01 changed: status {result.returncode}, "
                            f"{result.stderr}")

    # Without the control file: the stopped run's record in code/ says how it was made.
    from_record = os.path.join(base, "from-record")
    shutil.copytree(bids, from_record)
    result = subprocess.run([os.environ["COHORTIX"], "run", "--resume", "--bids", from_record],
                            capture_output=True, text=True)
    if result.returncode != 0 or same_tree(from_record, reference):
        failures.append(f"resume from the record: status {result.returncode}, "
                        f"{same_tree(from_record, reference)}, {result.stderr}")
    else:
        record = json.load(open(os.path.join(from_record, RECORD)))
        recorded = {f["Path"]: f["XXH128"] for f in record["Files"] if f["Output"] == "bids"}
        on_disk = {name: xxhash.xxh3_128_hexdigest(open(os.path.join(from_record, name), "rb").read())
                   for name in files_of(from_record) if name != RECORD}
        if recorded != on_disk or record["ExitStatus"] != 0:
            failures.append(f"the resumed run's record: {set(recorded.items()) ^ set(on_disk.items())}")

    result = run_cohortix(STUDY, "-o", os.path.join(base, "native"), "--bids", bids, "--gzip",
                          "--no-native", "--resume", "--verify-truth")
    if result.returncode != 0:
        failures.append(f"resume: status {result.returncode}, {result.stderr}")
    elif same_tree(bids, reference):
        failures.append(f"resumed dataset against an uninterrupted one: {same_tree(bids, reference)}")

    result = run_cohortix(STUDY, "-o", os.path.join(base, "native"), "--bids", bids, "--gzip",
                          "--resume")
    if result.returncode != 5 or "nothing to continue" not in result.stderr:
        failures.append(f"resume of a complete dataset: status {result.returncode}, {result.stderr}")

    if failures:
        print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
        sys.exit(1)
    shutil.rmtree(base, ignore_errors=True)
    print("stopped datasets are marked, refused without --resume and resumed to the same bytes")


main()
