"""The ground truth as the plug-in reports it. Every example, a run with the host's
noise and a replicate's run give their truth with --verify-truth, which replays
every subject and holds the plug-in's report and data against the replay. A
plug-in built before it could report (the same code without that entry point)
still runs: the host says once that it replays, and writes the same truth files,
to the byte, as from the report."""
import filecmp
import glob
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix  # noqa: E402

SOURCE = os.environ["COHORTIX_SOURCE_DIR"]
WITHOUT_REPORTS = os.path.join(os.environ["COHORTIX_BUILD_DIR"], "libcohortix_without_reports.so")
FALLBACK = ("cohortix: the loaded plug-in does not report what it draws: the ground truth "
            "replays every subject instead, which costs about the simulation's time again")
failures = []


def said(done):
    """What a run said besides the design's warnings."""
    return [line for line in done.stderr.splitlines() if not line.startswith("warning: ")]


def truth_files(folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, "*truth*")))


def verified_run(name, control, *options):
    folder = fresh_folder("truth_from_the_plugin", name)
    done = run_cohortix(control, "-o", folder, "--truth", "--verify-truth", *options)
    if done.returncode != 0 or said(done):
        failures.append(f"{name}: status {done.returncode}, {said(done)}")
    elif not truth_files(folder):
        failures.append(f"{name}: no truth written")
    return folder


def check_examples():
    for control in sorted(glob.glob(os.path.join(SOURCE, "examples", "*.cxd"))):
        name = os.path.basename(control)[:-4]
        folder = verified_run(name, control)
        shutil.rmtree(folder, ignore_errors=True)  # the whole-brain example is 2.4 GB
    noise = os.path.join(SOURCE, "examples", "noise", "white-1percent.toml")
    shutil.rmtree(verified_run("noise", example("faces-and-places"), "--noise", noise, "--seed", "3"))
    shutil.rmtree(verified_run("replicate", example("two-by-two"), "--replicate", "2"))


def check_plugin_without_reports():
    reported = verified_run("reported", example("two-by-two"))
    replayed = fresh_folder("truth_from_the_plugin", "replayed")
    done = subprocess.run([os.environ["COHORTIX"], "--plugin", WITHOUT_REPORTS, "run",
                           example("two-by-two"), "-o", replayed, "-q", "--truth"],
                          capture_output=True, text=True)
    if done.returncode != 0 or said(done) != [FALLBACK]:
        failures.append(f"plug-in without reports: status {done.returncode}, {done.stderr!r}")
        return
    names = truth_files(reported)
    if truth_files(replayed) != names:
        failures.append(f"replayed truth files {truth_files(replayed)}, reported {names}")
    unequal = [n for n in names if not filecmp.cmp(os.path.join(reported, n),
                                                   os.path.join(replayed, n), shallow=False)]
    if unequal:
        failures.append(f"the replayed truth differs from the reported one in {unequal}")


def main():
    check_examples()
    check_plugin_without_reports()
    if failures:
        print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
        sys.exit(1)
    print("every example's truth holds against its replay; an older plug-in is replayed")


if __name__ == "__main__":
    main()
