"""The progress line on a terminal (a pseudo-terminal of 40 and of 120 columns):
never wider than the terminal, so a redraw never wraps into a new line; redrawn
while a subject is simulated, not only between subjects; counting the bytes of
every file written, exports included; and a last line on standard error that says
what the run did, which --quiet leaves out with the progress line."""

import fcntl
import os
import pathlib
import pty
import re
import struct
import subprocess
import sys
import termios

COHORTIX = os.environ["COHORTIX"]
EXAMPLES = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"]) / "examples"
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
ESCAPE = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")
SUMMARY = re.compile(r"^cohortix: (\d+) subjects simulated, (\d+) files written \((\d+\.\d) MB\) in "
                     r"\d+\.\d s$")
failures = []


def run_on_terminal(columns, out, *options):
    """Runs the study with standard error on a pseudo-terminal of the
    given width; returns the status and everything written to the terminal."""
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    process = subprocess.Popen([COHORTIX, "run", str(STUDY), "-o", str(out),
                                *options], stdout=subprocess.DEVNULL, stderr=terminal)
    os.close(terminal)
    screen = b""
    while True:
        try:
            chunk = os.read(controller, 65536)
        except OSError:  # the other end closed
            break
        if not chunk:
            break
        screen += chunk
    os.close(controller)
    return process.wait(timeout=600), screen.decode()


def folder_bytes(folder):
    return sum(path.stat().st_size for path in pathlib.Path(folder).rglob("*") if path.is_file())


def check_width(columns):
    out = TMP / f"cols{columns}"
    code, screen = run_on_terminal(columns, out, "--nifti")
    if code != 0:
        failures.append(f"{columns} columns: status {code}: {screen[-300:]!r}")
        return
    # Every stretch between two line starts, once the escapes are gone, is what one
    # row of the terminal shows.
    rows = [ESCAPE.sub("", row) for row in re.split(r"[\r\n]", screen)]
    # Messages may wrap like any text; the line redrawn in place must not.
    wide = [row for row in rows if len(row) >= columns and not row.startswith("cohortix: ")]
    if wide:
        failures.append(f"{columns} columns: rows as wide as the terminal: {wide[:3]}")
    drawn = [row for row in rows if re.search(r"\d+:\d\d", row) and "cohortix:" not in row]
    # Four subjects of a few seconds each, redrawn a few times a second.
    if len(drawn) < 8:
        failures.append(f"{columns} columns: the line was drawn only {len(drawn)} times")
    summaries = [row for row in rows if SUMMARY.match(row)]
    if len(summaries) != 1:
        failures.append(f"{columns} columns: no summary line: {rows[-5:]}")
        return
    subjects, files, megabytes = SUMMARY.match(summaries[0]).groups()
    written = folder_bytes(out)
    if (int(subjects), int(files)) != (4, 24) or abs(float(megabytes) - written / 1e6) > 0.051:
        failures.append(f"{columns} columns: summary {summaries[0]!r}, folder {written} bytes")
    else:
        subprocess.run(["rm", "-rf", str(out)], check=True)


def check_quiet():
    code, screen = run_on_terminal(120, TMP / "quiet", "--quiet")
    if code != 0 or screen != "":
        failures.append(f"--quiet: status {code}, terminal {screen[:200]!r}")


TMP.mkdir(parents=True, exist_ok=True)
# The full-brain example with two subjects per group.
STUDY = TMP / "four-subjects.cxd"
STUDY.write_text(re.sub(r"(?m)^SubjectsPerGroup: .*$", "SubjectsPerGroup: 2",
                        (EXAMPLES / "full-brain.cxd").read_text()))
for folder in ("cols40", "cols120", "quiet"):
    subprocess.run(["rm", "-rf", str(TMP / folder)], check=True)
check_width(40)
check_width(120)
check_quiet()
if failures:
    print("FAIL:", *failures, sep="\n  ", file=sys.stderr)
    sys.exit(1)
print("the progress line fits the terminal and the summary tells the whole run")
