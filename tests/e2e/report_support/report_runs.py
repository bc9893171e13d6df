"""Runs the examples and makes their reports, for the report tests."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix  # noqa: E402

SECTIONS = ["study", "design", "truth", "data", "results"]


def report(run_folder, output, *arguments):
    """Runs `cohortix report`; returns the completed process."""
    return subprocess.run([os.environ["COHORTIX"], "report", run_folder, "-o", output, *arguments],
                          capture_output=True, text=True)


def simulate(name, folder, *arguments):
    done = run_cohortix(example(name), "-o", folder, *arguments)
    assert done.returncode == 0, (name, done.stdout[-2000:], done.stderr[-2000:])


def add_results(name, run_folder):
    """`analyze` into the run's default folder and a small `power` into RUN/power,
    where the report finds them by itself. The maps are uncorrected, so that even
    a few subjects leave significant voxels to score and draw."""
    for arguments in (["analyze", run_folder, "--correction", "none"],
                      ["power", example(name), "--subjects", "4,6", "--replicates", "10",
                       "-o", os.path.join(run_folder, "power"), "-q"]):
        done = subprocess.run([os.environ["COHORTIX"], *arguments], capture_output=True, text=True)
        assert done.returncode == 0, (arguments, done.stdout[-2000:], done.stderr[-2000:])


def example_reports(test_name):
    """faces-and-places from its native files, event-related from its BIDS dataset,
    region-of-interest with an analysis and a small power table beside it:
    {name: report path}."""
    out = fresh_folder(test_name)
    native = os.path.join(out, "faces-and-places")
    simulate("faces-and-places", native)
    bids = os.path.join(out, "event-related-bids")
    simulate("event-related", os.path.join(out, "event-related"), "--bids", bids, "--gzip")
    analysed = os.path.join(out, "region-of-interest")
    simulate("region-of-interest", analysed)
    add_results("region-of-interest", analysed)
    reports = {name: os.path.join(out, name + ".html")
               for name in ("faces-and-places", "event-related", "region-of-interest")}
    for done in (report(native, reports["faces-and-places"], "--control", example("faces-and-places")),
                 report(bids, reports["event-related"]),
                 report(analysed, reports["region-of-interest"], "--control", example("region-of-interest"))):
        assert done.returncode == 0, (done.args, done.stdout, done.stderr)
    return out, reports
