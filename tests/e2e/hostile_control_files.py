"""Hostile control files through `cohortix run`: each file of tests/data/hostile ends
the run with the exit status and the messages its table gives, and no file is
written, neither in the output folder nor anywhere else. The two-by-two example cut
off after every token, and inside its quoted names, ends with one message saying
where the file ended too early."""

import os
import pathlib
import re
import shutil
import subprocess
import sys

SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
HOSTILE = SOURCE / "tests" / "data" / "hostile"
failures = []


def run(control_file, name):
    """Runs the file with the output folder out/NAME of a scratch working folder;
    returns the exit status, the message lines and every file the run left."""
    work = TMP / "work"
    process = subprocess.run([COHORTIX, "run", str(control_file), "-o", f"out/{name}"],
                             cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             timeout=120)
    messages = process.stderr.decode("utf-8", "surrogateescape").splitlines()
    left = [str(path.relative_to(work)) for path in work.rglob("*") if not path.is_dir()]
    return process.returncode, messages, left


def matches(expected, line):
    return line.startswith(expected[:-1]) if expected.endswith("*") else line == expected


def check_table_row(name, status, expected):
    path = HOSTILE / name
    code, messages, left = run(path, name)
    expected_lines = expected.replace("{file}", str(path)).split(" | ")
    if code != status:
        failures.append(f"{name}: exit status {code}, expected {status}")
    if len(messages) != len(expected_lines) or not all(
            matches(e, m) for e, m in zip(expected_lines, messages)):
        failures.append(f"{name}: messages {messages}, expected {expected_lines}")
    if left:
        failures.append(f"{name}: files written: {left}")


def check_cut_off(text, end, label):
    path = TMP / "input" / "cut.cxd"
    path.write_bytes(text[:end])
    code, messages, left = run(path, "cut")
    if code != 1 or len(messages) != 1 or not messages[0].startswith(f"{path}:") or (
            "found the end of the file" not in messages[0]):
        failures.append(f"cut off {label}: status {code}, messages {messages}")
    if left:
        failures.append(f"cut off {label}: files written: {left}")
    shutil.rmtree(TMP / "work" / "out", ignore_errors=True)


def fresh_scratch():
    shutil.rmtree(TMP, ignore_errors=True)
    (TMP / "work").mkdir(parents=True)
    (TMP / "input").mkdir()


fresh_scratch()
for line in (HOSTILE / "expected.tsv").read_text(encoding="utf-8", errors="surrogateescape").splitlines():
    if line.startswith("#") or not line.strip():
        continue
    name, status, expected = line.split("\t")
    check_table_row(name, int(status), expected)
    fresh_scratch()

example = (SOURCE / "tests" / "data" / "two-by-two.cxd").read_bytes()
token_ends = [match.end() for match in re.finditer(rb"\S+", example)]
for end in token_ends[:-1]:
    check_cut_off(example, end, f"after byte {end}")
for match in re.finditer(rb'"[^"]+"', example):
    check_cut_off(example, match.start() + 2, f"inside {match.group().decode()}")

if failures:
    print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
    sys.exit(1)
shutil.rmtree(TMP, ignore_errors=True)
print(f"hostile control files: {len(token_ends)} cut-off points and the table all refused")
