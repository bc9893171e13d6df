"""An analysis folder holds one analysis. A second analysis into it is refused
(status 5) unless --force, which replaces exactly the earlier result's files:
an earlier fwe analysis's _pfwe maps and its extra contrast go, a file of the
user's stays. While one analysis runs, another into its folder is refused,
naming the process that holds it. An analysis killed half-way leaves the earlier
result whole and no staging folder once the next one has run; one that fails
leaves the earlier result as it was. Unfinished inputs are refused."""
import fcntl
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix

COHORTIX = os.environ["COHORTIX"]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def analyze(*arguments):
    return subprocess.run([COHORTIX, "analyze", *arguments], capture_output=True, text=True)


def names(folder):
    return sorted(os.path.relpath(p, folder) for p in glob.glob(os.path.join(folder, "**"), recursive=True))


def unfinished_inputs(run):
    """A run folder whose run still holds it, and a dataset marked unfinished, are
    refused (5) with the reason by analyze and report; --allow-incomplete analyses
    or reports them and says so."""
    folder = os.open(run, os.O_RDONLY | os.O_DIRECTORY)
    fcntl.flock(folder, fcntl.LOCK_EX)
    held = analyze(run, "-o", os.path.join(run, "held"))
    check(held.returncode == 5 and f"(process {os.getpid()}) is writing into {run}" in held.stderr
          and "--allow-incomplete" in held.stderr, f"a run folder still written: {held.stderr}")
    page = os.path.join(run, "held.html")
    report = subprocess.run([COHORTIX, "report", run, "-o", page], capture_output=True, text=True)
    check(report.returncode == 5 and "--allow-incomplete" in report.stderr and not os.path.exists(page),
          f"the report of a run folder still written: {report.returncode} {report.stderr}")
    report = subprocess.run([COHORTIX, "report", run, "-o", page, "--allow-incomplete"], capture_output=True, text=True)
    check(report.returncode == 0 and "the run had not finished" in open(page, encoding="utf-8").read(),
          f"--allow-incomplete report: {report.returncode} {report.stderr}")
    os.close(folder)
    missing = fresh_folder("missing")
    for name in os.listdir(run):
        if os.path.isfile(os.path.join(run, name)) and not name.startswith("S3_"):
            shutil.copy(os.path.join(run, name), missing)
    lacking = analyze(missing)
    check(lacking.returncode == 5 and "lacks S3_G1_" in lacking.stderr, f"a subject missing: {lacking.stderr}")
    dataset = fresh_folder("dataset")
    assert run_cohortix(example("block-design"), "--bids", dataset, "--no-native").returncode == 0
    marker = os.path.join(dataset, "derivatives", "cohortix", "cohortix-incomplete")
    open(marker, "w").write("unfinished\n")
    refused = analyze(dataset)
    check(refused.returncode == 5 and "marked unfinished" in refused.stderr
          and not os.path.exists(os.path.join(dataset, "derivatives", "analysis", "maps.tsv")),
          f"an unfinished dataset: {refused.returncode} {refused.stderr}")
    allowed = analyze(dataset, "--allow-incomplete")
    recorded = json.load(open(os.path.join(dataset, "derivatives", "analysis", "analysis.json")))["Warnings"]
    check(allowed.returncode == 0 and any("marked unfinished" in w for w in recorded),
          f"--allow-incomplete: {allowed.returncode} {allowed.stderr} {recorded}")


def main():
    run = fresh_folder("run")
    assert run_cohortix(example("faces-and-places"), "-o", run).returncode == 0
    out = os.path.join(run, "maps")
    first = analyze(run, "-o", out, "--correction", "fwe", "--permutations", "100",
                    "--contrast", "Mine: 1 0 -1 0")
    check(first.returncode == 0, first.stderr)
    earlier = names(out)
    check(any(n.endswith("_pfwe.nii.gz") for n in earlier) and any("-Mine_" in n for n in earlier),
          "the first analysis wrote no _pfwe map or no contrast of its own")
    open(os.path.join(out, "notes.txt"), "w").write("mine\n")

    again = analyze(run, "-o", out)
    check(again.returncode == 5 and "holds an analysis already" in again.stderr and "--force" in again.stderr,
          f"a second analysis: {again.returncode} {again.stderr}")
    check(names(out) == sorted(earlier + ["notes.txt"]), "the refused analysis changed the folder")

    failed = analyze(run, "-o", out, "--force", "--contrast", "1 2 3")
    check(failed.returncode != 0 and names(out) == sorted(earlier + ["notes.txt"]),
          f"a failed analysis touched the earlier one: {failed.returncode} {failed.stderr}")

    forced = analyze(run, "-o", out, "--force")
    check(forced.returncode == 0, forced.stderr)
    now = names(out)
    check(not any(n.endswith("_pfwe.nii.gz") or "-Mine_" in n for n in now),
          "the replaced analysis's maps stayed")
    check("notes.txt" in now and not any(".cohortix" in n for n in now), f"the folder holds {now}")

    # One at a time: a second analysis while the first runs is refused, naming it.
    busy = subprocess.Popen([COHORTIX, "analyze", run, "-o", out, "--force", "--ar1"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while not glob.glob(os.path.join(out, ".cohortix-staging-*")) and time.monotonic() < deadline:
        time.sleep(0.02)
    second = analyze(run, "-o", out, "--force")
    check(second.returncode == 5 and str(busy.pid) in second.stderr, f"beside a running analysis: {second.stderr}")
    busy.send_signal(signal.SIGKILL)
    busy.wait()
    check(names(out) == now or any(".cohortix-staging" in n for n in names(out)),
          "a killed analysis changed the earlier result")
    check(set(now) <= set(names(out)), "a killed analysis took files of the earlier one")
    after = analyze(run, "-o", out, "--force")
    check(after.returncode == 0 and names(out) == now, f"after the killed one: {names(out)}")

    unfinished_inputs(run)
    if failures:
        sys.exit("FAIL:\n" + "\n".join(failures))
    print("one analysis per folder, replaced whole with --force, never mixed")


if __name__ == "__main__":
    main()
