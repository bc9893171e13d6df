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


def two_reports(test_name):
    """faces-and-places from its native files, event-related from its BIDS dataset:
    {name: report path}."""
    out = fresh_folder(test_name)
    native = os.path.join(out, "faces-and-places")
    simulate("faces-and-places", native)
    bids = os.path.join(out, "event-related-bids")
    simulate("event-related", os.path.join(out, "event-related"), "--bids", bids, "--gzip")
    reports = {"faces-and-places": os.path.join(out, "faces-and-places.html"),
               "event-related": os.path.join(out, "event-related.html")}
    for done in (report(native, reports["faces-and-places"], "--control", example("faces-and-places")),
                 report(bids, reports["event-related"])):
        assert done.returncode == 0, (done.args, done.stdout, done.stderr)
    return out, reports
