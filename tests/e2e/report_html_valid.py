"""The study reports of three examples (native files, a BIDS dataset, a run with
an analysis and a power table) are valid
HTML: html-validate (npm, installed into the build folder by the fixture
tools.html_validate) with its recommended rules finds nothing. Skips (77) when
the validator could not be installed."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "report_support"))
from report_runs import example_reports  # noqa: E402


def main():
    validator = os.environ.get("COHORTIX_HTML_VALIDATE", "")
    if not os.access(validator, os.X_OK):
        print(f"skipped: html-validate is not installed at {validator!r} (npm could not fetch it)")
        return 77
    out, reports = example_reports("report_html_valid")
    with open(os.path.join(out, ".htmlvalidate.json"), "w") as config:
        config.write('{"root": true, "extends": ["html-validate:recommended"]}\n')
    done = subprocess.run([validator, *reports.values()], capture_output=True, text=True, cwd=out)
    assert done.returncode == 0, done.stdout[-4000:] + done.stderr[-2000:]
    print("valid:", ", ".join(reports))
    return 0


if __name__ == "__main__":
    sys.exit(main())
