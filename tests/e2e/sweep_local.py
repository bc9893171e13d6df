"""Sweeps on this machine: a 2 x 2 grid of the tiny example is planned, run two
at a time and gathered; each design's files are those of a plain run of its
control file, the table's figures are those of the files on disk. A resumed sweep
runs only what is missing, a failed design is reported with its log and run again
only when asked, an interrupted one is left to run again, a value the reader
refuses stops the plan at its line of the sweep file, and a sweep of real power analyses
over effects, noise profiles and seeds carries each design's power table over as
it is. The example Snakefile runs the same grid."""

import csv
import filecmp
import io
import os
import re
import pathlib
import pty
import shutil
import signal
import subprocess
import sys
import time

COHORTIX = os.environ["COHORTIX"]
SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
GRID = SOURCE / "examples" / "sweep" / "grid.toml"
STAND_IN = SOURCE / "tests" / "support" / "cohortix_stand_in.py"


def fail(text):
    print("FAIL:", text, file=sys.stderr)
    sys.exit(1)


def cohortix(*args, status=0, env=None, **kwargs):
    result = subprocess.run([COHORTIX, *map(str, args)], capture_output=True, text=True,
                            env={**os.environ, **(env or {})}, timeout=600, **kwargs)
    if status is not None and result.returncode != status:
        fail(f"cohortix {' '.join(map(str, args))}: exit status {result.returncode}, "
             f"not {status}\n{result.stdout}{result.stderr}")
    return result


def table(text):
    return list(csv.DictReader(io.StringIO(text), delimiter="\t"))


def check_grid(plan):
    """The four designs' files and the gathered table, against the disk."""
    gathered = cohortix("sweep", "gather", plan).stdout
    rows = table(gathered)
    if [row["design"] for row in rows] != ["d001", "d002", "d003", "d004"]:
        fail(f"gathered designs: {gathered}")
    if [row["SubjectsPerGroup"] for row in rows] != ["2", "4", "2", "4"] or \
            [row["Region1"] for row in rows] != ["1 0 0.5 0"] * 2 + ["2 0 1 0"] * 2:
        fail(f"varied values in the gathered table: {gathered}")
    for row in rows:
        output = plan / "jobs" / row["design"] / "output"
        files = [p for p in output.rglob("*") if p.is_file()]
        subjects = 2 * int(row["SubjectsPerGroup"])
        # Three files a subject; the run's record, whose size varies with its times, is
        # not counted.
        files = [p for p in files if p.name != "cohortix-run.json"]
        expected = {"exit_status": "0", "subjects": str(subjects), "files": str(3 * subjects),
                    "bytes": str(sum(p.stat().st_size for p in files))}
        if {k: row[k] for k in expected} != expected or len(files) != 3 * subjects:
            fail(f"{row['design']}: {row} where the disk holds {expected}")
        if float(row["seconds"]) <= 0:
            fail(f"{row['design']}: no time measured")
    return gathered


def local_grid():
    plan = TMP / "grid"
    planned = cohortix("sweep", "plan", GRID, "-o", plan)
    if "planned 4 designs" not in planned.stdout:
        fail(f"plan said: {planned.stdout}")
    manifest = (plan / "manifest.tsv").read_text().splitlines()
    if manifest[0] != "design\tRegion1\tSubjectsPerGroup\tcommand" or len(manifest) != 5 or \
            manifest[2] != "d002\t1 0 0.5 0\t4\tcohortix run designs/d002.cxd -o jobs/d002/output --tr 2":
        fail(f"manifest: {manifest}")
    # The plan's control files read as their values say.
    summary = cohortix("check", plan / "designs" / "d004.cxd").stdout
    if "Subjects: 4 per group, 8 in all" not in summary:
        fail(f"design d004 reads as: {summary}")

    ran = cohortix("sweep", "run", plan, "--jobs", "2")
    if "sweep: 4 of 4 designs complete" not in ran.stderr:
        fail(f"run said: {ran.stderr}")
    gathered = check_grid(plan)
    if cohortix("sweep", "gather", plan).stdout != gathered:
        fail("two gathers of the same results differ")
    # A design's files are those of a plain run of its control file.
    direct = TMP / "direct"
    cohortix("run", plan / "designs" / "d003.cxd", "-o", direct, "--tr", "2", "--quiet")
    # (The runs' records differ in their times.)
    comparison = filecmp.dircmp(direct, plan / "jobs" / "d003" / "output", ignore=["cohortix-run.json"])
    if comparison.left_only or comparison.right_only or \
            filecmp.cmpfiles(direct, plan / "jobs" / "d003" / "output",
                             comparison.common_files, shallow=False)[1:] != ([], []):
        fail("design d003's files differ from a plain run of its control file")
    return plan, gathered


def resumed(plan, gathered):
    marks = {d: (plan / "jobs" / d / "complete").stat().st_mtime_ns for d in ("d001", "d003", "d004")}
    # d002 as an interrupted attempt leaves it: part of its output, no mark.
    (plan / "jobs" / "d002" / "complete").unlink()
    for vtc in list((plan / "jobs" / "d002" / "output").glob("*.vtc"))[:3]:
        vtc.unlink()
    ran = cohortix("sweep", "run", plan, "--jobs", "2")
    if ran.stderr.splitlines()[0] != "design d002 complete":
        fail(f"the resumed sweep said: {ran.stderr}")
    if any((plan / "jobs" / d / "complete").stat().st_mtime_ns != t for d, t in marks.items()):
        fail("a complete design ran again")
    again = check_grid(plan)
    # Only the measured time of d002 may differ.
    strip = lambda text: [line.rsplit("\t", 1)[0] for line in text.splitlines()]
    if strip(again) != strip(gathered):
        fail(f"the resumed sweep gathers\n{again}\nnot\n{gathered}")
    if cohortix("sweep", "run", plan).stderr != "sweep: 4 of 4 designs complete\n":
        fail("a complete sweep ran something")


def failures(plan):
    stand_in = {"COHORTIX_SWEEP_EXECUTABLE": str(STAND_IN), "COHORTIX": COHORTIX,
                "STAND_IN_FAIL": "d003"}
    for design in ("d001", "d003"):
        shutil.rmtree(plan / "jobs" / design)
    ran = cohortix("sweep", "run", plan, "--jobs", "2", status=1, env=stand_in)
    log = plan / "jobs" / "d003" / "log.txt"
    if f"design d003 failed with exit status 1: {log}" not in ran.stderr.splitlines() or \
            "design d001 complete" not in ran.stderr.splitlines():
        fail(f"the failing sweep said: {ran.stderr}")
    if "failing on purpose" not in log.read_text():
        fail(f"the log of d003 holds: {log.read_text()}")
    record = (plan / "jobs" / "d003" / "failed").read_text()
    if not re.search(r"(?m)^command\tcohortix run .*d003\.cxd", record):
        fail(f"the failed design's record does not say what it ran: {record!r}")
    gathered = table(cohortix("sweep", "gather", plan, status=1).stdout)
    if [row["exit_status"] for row in gathered] != ["0", "0", "1", "0"]:
        fail(f"gathered exit statuses: {gathered}")
    # Not run again unless asked, and then with the real executable it completes.
    ran = cohortix("sweep", "run", plan, status=1, env=stand_in)
    if f"design d003 failed earlier: {log} (--retry-failed runs it again)" not in ran.stderr:
        fail(f"the sweep after a failure said: {ran.stderr}")
    ran = cohortix("sweep", "run", plan, "--retry-failed")
    if ran.stderr.splitlines()[0] != "design d003 complete":
        fail(f"the retried sweep said: {ran.stderr}")
    check_grid(plan)


def pid_files(pids):
    """The designs' pid files, each whole (the stand-in writes a hidden one first)."""
    return [p for p in pids.iterdir() if not p.name.startswith(".")]


def sleeping_sweep(name):
    """A sweep of the grid whose designs' commands sleep, once two of them run:
    the plan, the sweep's process and the folder of the commands' pid files."""
    plan = TMP / name
    cohortix("sweep", "plan", GRID, "-o", plan)
    pids = TMP / (name + "-pids")
    pids.mkdir()
    env = {**os.environ, "COHORTIX_SWEEP_EXECUTABLE": str(STAND_IN), "COHORTIX": COHORTIX,
           "STAND_IN_SLEEP": "60", "STAND_IN_PIDS": str(pids)}
    process = subprocess.Popen([COHORTIX, "sweep", "run", plan, "--jobs", "2"], env=env,
                               stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while len(pid_files(pids)) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    return plan, process, pids


def interrupted():
    plan, process, pids = sleeping_sweep("interrupted")
    started = sorted(p.name for p in pid_files(pids))
    process.send_signal(signal.SIGTERM)
    try:
        _, errors = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        fail("the sweep did not stop on SIGTERM")
    if process.returncode != 143 or started != ["d001", "d002"]:
        fail(f"interrupted sweep: status {process.returncode}, started {started}: {errors}")
    for design in started:
        pid = int((pids / design).read_text())
        if pathlib.Path(f"/proc/{pid}").exists():
            os.kill(pid, signal.SIGKILL)
            fail(f"the command of {design} outlived the sweep")
        state = sorted(p.name for p in (plan / "jobs" / design).iterdir())
        if "complete" in state or "failed" in state:
            fail(f"an interrupted design is marked: {state}")
    if "sweep: 0 of 4 designs complete, 4 left to run" not in errors:
        fail(f"interrupted sweep said: {errors}")


def killed():
    """A runner killed outright takes its designs' commands with it."""
    _, process, pids = sleeping_sweep("killed")
    process.kill()
    process.wait()
    children = [int(p.read_text()) for p in pid_files(pids)]
    deadline = time.monotonic() + 10
    while any(pathlib.Path(f"/proc/{pid}").exists() for pid in children) and time.monotonic() < deadline:
        time.sleep(0.05)
    alive = [pid for pid in children if pathlib.Path(f"/proc/{pid}").exists()]
    for pid in alive:
        os.kill(pid, signal.SIGKILL)
    if len(children) != 2 or alive:
        fail(f"designs' commands outlived a killed sweep: {alive} of {children}")


def progress_on_a_terminal(plan):
    leader, follower = pty.openpty()
    process = subprocess.Popen([COHORTIX, "sweep", "run", plan], stderr=follower,
                               stdout=subprocess.DEVNULL)
    os.close(follower)
    shown = b""
    while True:
        try:
            chunk = os.read(leader, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    process.wait(timeout=60)
    if b"\rsweep: 4/4 complete" not in shown.replace(b"\x1b[K", b""):
        fail(f"no progress line on a terminal: {shown!r}")


def refused_design():
    sweep = TMP / "refused.toml"
    shutil.copy(SOURCE / "examples" / "sweep" / "tiny.cxd", TMP / "tiny.cxd")
    sweep.write_text('base = "tiny.cxd"\n[vary]\nResolution = [3, 0]\nNoisePercent = [1]\n')
    result = cohortix("sweep", "plan", sweep, "-o", TMP / "refused", status=1)
    if result.stderr != (f"cohortix: {sweep}:3: expected a VTC resolution of at least 1, "
                         "found 0 (Resolution = 0)\n"):
        fail(f"the refused plan said: {result.stderr}")
    if (TMP / "refused" / "manifest.tsv").exists():
        fail("a refused plan left a manifest")


def checked_at_plan_time():
    """Every design's command is parsed when planned: an unknown option, a value out
    of range and a missing required option stop the plan at the sweep file's line,
    writing nothing. A plan whose designs all failed holds no results: it is planned
    again."""
    shutil.copy(SOURCE / "examples" / "sweep" / "tiny.cxd", TMP / "tiny.cxd")
    for name, text, message in (
            ("bogus", 'base = "tiny.cxd"\n[options]\n"--bogus" = 1\n[vary]\nNoisePercent = [1, 2]\n',
             ":3: design d001 (NoisePercent = 1): The following arguments were not expected"),
            ("slow-tr", 'base = "tiny.cxd"\ncommand = "power"\n[options]\n"--subjects" = "4"\n'
                        '[vary]\n"--tr" = [2, 0.01]\n', ":6: design d002 (--tr = 0.01): --tr"),
            ("no-subjects", 'base = "tiny.cxd"\ncommand = "power"\n[vary]\nNoisePercent = [1]\n',
             ":2: design d001 (NoisePercent = 1): --subjects is required")):
        sweep = TMP / f"{name}.toml"
        sweep.write_text(text)
        refused = cohortix("sweep", "plan", sweep, "-o", TMP / name, status=1)
        if not refused.stderr.startswith(f"cohortix: {sweep}{message}") or (TMP / name).exists():
            fail(f"the plan of {name} said: {refused.stderr}")
    sweep = TMP / "failing.toml"
    sweep.write_text('base = "tiny.cxd"\n[vary]\nNoisePercent = [1]\n')
    plan = TMP / "failing"
    cohortix("sweep", "plan", sweep, "-o", plan)
    stand_in = {"COHORTIX_SWEEP_EXECUTABLE": str(STAND_IN), "COHORTIX": COHORTIX, "STAND_IN_FAIL": "d001"}
    cohortix("sweep", "run", plan, status=1, env=stand_in)
    sweep.write_text('base = "tiny.cxd"\n[vary]\nNoisePercent = [1, 2]\n')
    replanned = cohortix("sweep", "plan", sweep, "-o", plan)
    if not replanned.stdout.startswith("planned 2 designs") or (plan / "jobs").exists():
        fail(f"re-planning a plan without results said: {replanned.stdout} {replanned.stderr}")


def shipped_power_sweep():
    """The shipped power sweep gathers a power table per design."""
    plan = TMP / "power-grid"
    cohortix("sweep", "plan", SOURCE / "examples" / "sweep" / "power-grid.toml", "-o", plan)
    cohortix("sweep", "run", plan, "--jobs", "2")
    rows = table(cohortix("sweep", "gather", plan).stdout)
    detections = [row for row in rows if row["measure"] == "roi_power" and row["region"] == "Region1"]
    if sorted({row["design"] for row in detections}) != ["d001", "d002", "d003", "d004"] or \
            not all(0.0 <= float(row["estimate"]) <= 1.0 for row in detections):
        fail(f"the shipped power sweep gathered {rows[:3]}")


def power_sweep():
    """Real power analyses over 2 effect sizes x 2 noise profiles x 2 seeds: each
    design's rows are gathered as its power.tsv holds them, and a design's table is
    that of the manifest's command run by hand."""
    noise = SOURCE / "examples" / "noise"
    sweep = TMP / "power.toml"
    sweep.write_text('base = "tiny.cxd"\ncommand = "power"\n[options]\n"--replicates" = 10\n'
                     '"--subjects" = [4, 6]\n"--quiet" = true\n[vary]\n'
                     'Region1 = [[[1.0, 0.0], [0.5, 0.0]], [[2.0, 0.0], [1.0, 0.0]]]\n'
                     f'"--noise" = ["{noise / "white-1percent.toml"}", "{noise / "3T-TR2-3mm.toml"}"]\n'
                     '"--seed" = [1, 2]\n')
    plan = TMP / "power"
    cohortix("sweep", "plan", sweep, "-o", plan)
    cohortix("sweep", "run", plan, "--jobs", "2")
    gathered = cohortix("sweep", "gather", plan).stdout.splitlines()
    header = (plan / "jobs" / "d001" / "output" / "power.tsv").read_text().splitlines()[0]
    if gathered[0] != "design\tRegion1\t--noise\t--seed\t" + header:
        fail(f"gathered header: {gathered[0]}")
    manifest = [line.split("\t") for line in (plan / "manifest.tsv").read_text().splitlines()[1:]]
    tables = set()
    for design, region, profile, seed, _ in manifest:
        table = (plan / "jobs" / design / "output" / "power.tsv").read_text().splitlines()[1:]
        mine = [line for line in gathered[1:] if line.startswith(design + "\t")]
        if mine != [f"{design}\t{region}\t{profile}\t{seed}\t{line}" for line in table] or not table:
            fail(f"{design}: gathered\n" + "\n".join(mine))
        tables.add("\n".join(table))
    if len(tables) != 8:
        fail("two designs of different effects, noise or seed gave the same power table")
    direct = TMP / "power-direct"
    command = manifest[6][4].split()
    cohortix(*command[1:command.index("-o")], "-o", direct, *command[command.index("-o") + 2:],
             cwd=plan)
    if (direct / "power.tsv").read_bytes() != (plan / "jobs" / "d007" / "output" / "power.tsv").read_bytes():
        fail("design d007's power table differs from its command run by hand")
    # A table cut short is refused at its line, or left out on request.
    table = plan / "jobs" / "d003" / "output" / "power.tsv"
    text = table.read_text()
    table.write_text(text[:text.index("\n", len(text) // 2) + 12])
    refused = cohortix("sweep", "gather", plan, status=1)
    if not refused.stderr.startswith(f"cohortix: design d003: {table}:") or refused.stdout:
        fail(f"gathering a cut-short table said: {refused.stderr}")
    skipped = cohortix("sweep", "gather", plan, "--skip-broken")
    designs = {line.split("\t")[0] for line in skipped.stdout.splitlines()[1:]}
    if "d003" in designs or len(designs) != 7 or "left out: design d003" not in skipped.stderr:
        fail(f"--skip-broken: designs {sorted(designs)}, said {skipped.stderr}")
    table.write_text(text)


def snakemake():
    if shutil.which("snakemake") is None:
        print("SKIP: snakemake is not installed (scripts/setup tests installs it)")
        return
    work = TMP / "snakemake"
    shutil.copytree(SOURCE / "examples" / "sweep", work)
    result = subprocess.run(["snakemake", "--cores", "2", "--quiet", "--config",
                             f"cohortix={COHORTIX}"], cwd=work, capture_output=True, text=True,
                            timeout=600)
    if result.returncode != 0:
        fail(f"snakemake: {result.stdout}{result.stderr}")
    check_grid(work / "sweep-out")
    if (work / "sweep-out" / "results.tsv").read_text() != \
            cohortix("sweep", "gather", work / "sweep-out").stdout:
        fail("the Snakefile's table differs from cohortix sweep gather")


def main():
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    plan, gathered = local_grid()
    resumed(plan, gathered)
    failures(plan)
    progress_on_a_terminal(plan)
    interrupted()
    killed()
    refused_design()
    checked_at_plan_time()
    shipped_power_sweep()
    power_sweep()
    snakemake()
    shutil.rmtree(TMP, ignore_errors=True)


main()
