"""What a run must be granted before it starts, each refused with one line and exit
status 5 before anything is written: an output folder that holds another run of
the same experiment (replaced whole with --force, never for a refused control
file), a folder another run has locked, too little memory for the design, output
paths that are files, control files that are no regular files or whose path is too
long for the plug-in. And what is accepted: a native folder inside the dataset's
folder, a long path that fits relative to the current folder."""

import fcntl
import os
import pathlib
import resource
import shutil
import subprocess
import sys

COHORTIX = os.environ["COHORTIX"]
EXAMPLES = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"]) / "examples"
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
REFUSED = 5
failures = []


def study(name, subjects=2, **items):
    """The noise-free example with `subjects` per group and other items replaced."""
    lines = []
    for line in (EXAMPLES / "noise-free.cxd").read_text().splitlines():
        label = line.split(":")[0]
        if label == "SubjectsPerGroup":
            line = f"SubjectsPerGroup: {subjects}"
        elif label in items:
            line = f"{label}: {items[label]}"
        lines.append(line)
    path = TMP / name
    path.write_text("\n".join(lines) + "\n")
    return path


def run(control, *options, cwd=None, preexec_fn=None):
    process = subprocess.run([COHORTIX, "run", str(control), "--quiet", *map(str, options)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                             timeout=300, cwd=cwd, preexec_fn=preexec_fn)
    return process.returncode, process.stderr.splitlines()


def expect_refusal(what, outcome, *words):
    code, lines = outcome
    if code != REFUSED or len(lines) != 1 or not lines[0].startswith("cohortix: ") or \
            not all(word in lines[0] for word in words):
        failures.append(f"{what}: status {code}, messages {lines}, expected one line with {words}")


def names(folder):
    return sorted(os.listdir(folder))


def check_earlier_run():
    three, two = study("three.cxd", subjects=3), study("two.cxd", subjects=2)
    out = TMP / "earlier"
    # The earlier run's truth is its files too: a run with --force but no --truth
    # must not leave it beside data it no longer describes.
    if run(three, "-o", out, "--nifti", "--truth")[0] != 0:
        failures.append("earlier run: the first run failed")
        return
    before = {name: (out / name).read_bytes() for name in names(out)}
    expect_refusal("a folder with a run of the experiment", run(two, "-o", out),
                   str(out), "NoiseFree", "and 41 more", "--force")
    if {name: (out / name).read_bytes() for name in names(out)} != before:
        failures.append("earlier run: the refused run changed the folder")
    # A control file the run refuses leaves the earlier run alone, --force or not.
    broken = TMP / "broken.cxd"
    broken.write_text((TMP / "two.cxd").read_text().replace("Version: 1", "Version: 2"))
    code, _ = run(broken, "-o", out, "--force")
    if code != 1 or names(out) != sorted(before):
        failures.append(f"earlier run: a refused control file with --force: status {code}, {names(out)}")
    # --force: one consistent run of two subjects, no third left beside it.
    code, lines = run(two, "-o", out, "--force")
    expected = sorted([f"S{n}_G1_NoiseFree{ext}" for n in (1, 2) for ext in (".prt", ".rtc", ".vtc")] +
                      ["cohortix-run.json"])
    if code != 0 or names(out) != expected:
        failures.append(f"earlier run: --force gave status {code}, {lines}, files {names(out)}")
    # Another experiment's files are no obstacle.
    other = study("other.cxd", Name='"Other"')
    if run(other, "-o", out)[0] != 0:
        failures.append("earlier run: another experiment's run was refused")


def check_locked_folders():
    control = study("locked.cxd")
    for option in ("-o", "--bids"):
        folder = TMP / f"locked{option}"
        folder.mkdir()
        held = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
        fcntl.flock(held, fcntl.LOCK_EX)
        try:
            other = ["-o", TMP / "locked-native"] if option == "--bids" else []
            expect_refusal(f"a folder locked ({option})", run(control, option, folder, *other),
                           str(folder), f"process {os.getpid()}")
        finally:
            os.close(held)
        if names(folder) != []:
            failures.append(f"locked {option}: files written {names(folder)}")
    if run(control, "-o", TMP / "locked-o")[0] != 0:
        failures.append("a folder let go is still refused")


def check_memory():
    # The sanitized build reserves terabytes of address space for its shadow memory
    # and cannot start under an address-space limit: there is nothing to refuse.
    if os.environ.get("ASAN_OPTIONS"):
        return
    # A 1-mm whole-anatomy box: over 7 GB of data for 108 volumes.
    control = study("huge.cxd", BoxZ="0 255", BoxX="0 255", BoxY="0 255", Resolution=1)
    out = TMP / "huge"

    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
    expect_refusal("a design beyond the address-space limit", run(control, "-o", out, preexec_fn=limit),
                   "needs about 14.", "GB of memory", "fewer volumes", "ulimit -v")
    if out.exists():
        failures.append("memory: the refused run made its output folder")


def check_paths():
    control = study("paths.cxd")
    a_file = TMP / "a-file"
    a_file.write_text("not a folder\n")
    expect_refusal("an output path that is a file", run(control, "-o", a_file), str(a_file), "not a folder")
    expect_refusal("--bids FILE", run(control, "-o", TMP / "p1", "--bids", a_file),
                   "--bids", str(a_file), "is not a folder")
    fifo = TMP / "study.cxd"
    os.mkfifo(fifo)
    expect_refusal("a FIFO as control file", run(fifo, "-o", TMP / "p2"), str(fifo), "not a regular file")
    expect_refusal("a device as control file", run("/dev/zero", "-o", TMP / "p3"),
                   "/dev/zero is not a regular file")
    check = subprocess.run([COHORTIX, "check", str(fifo)], capture_output=True, text=True, timeout=60)
    if check.returncode != 1 or check.stderr != f"cohortix: {fifo} is not a regular file\n":
        failures.append(f"check on a FIFO: {check.returncode} {check.stderr!r}")
    # The native files inside the dataset's folder: the dataset is judged empty
    # before the native folder is made.
    dataset = TMP / "dataset"
    code, lines = run(control, "-o", dataset / "sourcedata", "--bids", dataset)
    if code != 0 or "participants.tsv" not in names(dataset) or \
            len(names(dataset / "sourcedata")) != 7:
        failures.append(f"-o B/sourcedata --bids B: status {code}, {lines}")


def check_long_paths():
    # A control file whose absolute path is over 1100 bytes.
    deep = TMP
    while len(str(deep)) < 1100:
        deep = deep / ("d" * 200)
    deep.mkdir(parents=True)
    shutil.copy(study("long.cxd"), deep / "long.cxd")
    code, lines = run("long.cxd", "-o", "out", cwd=deep)
    if code != 0 or len(names(deep / "out")) != 7:
        failures.append(f"a long path run from its folder: status {code}, {lines}")
    expect_refusal("a path too long even relative to the current folder",
                   run(deep / "long.cxd", "-o", TMP / "long-out", cwd="/"),
                   "longer than the plug-in can take", "1023 bytes")


def check_read_only_dataset():
    dataset = TMP / "read-only-dataset"
    dataset.mkdir()
    if os.geteuid() == 0:
        # Root writes through permissions: a read-only file system binds it.
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=1m", "tmpfs", str(dataset)],
                                 capture_output=True).returncode == 0
        if not mounted:
            print("NOTE: skipped the read-only dataset folder: root cannot mount a tmpfs here")
            return
        reason = "Read-only file system"
    else:
        dataset.chmod(0o555)
        reason = "Permission denied"
    try:
        expect_refusal("a read-only dataset folder",
                       run(study("ro.cxd"), "-o", TMP / "ro", "--bids", dataset), str(dataset), reason)
    finally:
        if os.geteuid() == 0:
            subprocess.run(["umount", str(dataset)], check=False)


shutil.rmtree(TMP, ignore_errors=True)
TMP.mkdir(parents=True)
for check in (check_earlier_run, check_locked_folders, check_memory, check_paths, check_long_paths,
              check_read_only_dataset):
    check()
if failures:
    print("FAIL:", *failures, sep="\n  ", file=sys.stderr)
    sys.exit(1)
print("runs are refused before they start, and only then")
