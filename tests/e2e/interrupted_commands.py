"""analyze, power and report stopped by SIGINT or SIGTERM at a random moment,
twenty times each: one line naming the signal, its exit status (130, 143), and
nothing left behind: no staging folder or temporary in the analysis folder, whose
earlier analysis stays whole, no private folder of power's, nor the report's copy
of a control file restored from the run's record, in the temporary folder."""
import glob
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix

COHORTIX = os.environ["COHORTIX"]
STATUS = {signal.SIGINT: 130, signal.SIGTERM: 143}
failures = []


def everything(folder):
    return sorted(os.path.relpath(p, folder) for p in glob.glob(os.path.join(folder, "**"), recursive=True,
                                                                include_hidden=True))


def interrupt(command, environment, rounds, longest=1.5):
    """Each round: the command stopped after a random delay; its outcome."""
    for _ in range(rounds):
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                   env=environment)
        time.sleep(random.uniform(0.05, longest))
        sent = random.choice(list(STATUS))
        process.send_signal(sent)
        _, stderr = process.communicate(timeout=120)
        yield sent, process.returncode, stderr


def check_stop(what, sent, status, stderr):
    if status == 0:
        return  # it finished before the signal came
    if status == -sent and not stderr:
        return  # it came while the process was still starting, before the command had begun
    lines = stderr.splitlines()
    if status != STATUS[sent] or not lines or f"interrupted by {signal.Signals(sent).name}" not in lines[-1]:
        failures.append(f"{what}: {signal.Signals(sent).name} gave status {status}, said {stderr!r}")


def report_rounds(environment, temporary):
    """A run whose control file is gone since: the report restores it from the
    run's record into the temporary folder, which a signal's stop removes."""
    control = os.path.join(fresh_folder("control"), "study.cxd")
    with open(example("faces-and-places"), "rb") as source, open(control, "wb") as copy:
        copy.write(source.read())
    run = fresh_folder("report-run")
    assert run_cohortix(control, "-o", run).returncode == 0
    os.remove(control)
    page = os.path.join(run, "report.html")
    for sent, status, stderr in interrupt([COHORTIX, "report", run, "-o", page], environment, 20, 0.4):
        check_stop("report", sent, status, stderr)
        left = os.listdir(temporary) + [n for n in os.listdir(run) if n.startswith(".cohortix")]
        if left:
            failures.append(f"report ended with status {status} and left {left}")
            for name in os.listdir(temporary):
                subprocess.run(["rm", "-rf", os.path.join(temporary, name)])


def main():
    random.seed(int(os.environ.get("COHORTIX_TEST_SEED", "7")))
    run = fresh_folder("run")
    assert run_cohortix(example("faces-and-places"), "-o", run).returncode == 0
    out = os.path.join(run, "analysis")
    assert subprocess.run([COHORTIX, "analyze", run], capture_output=True).returncode == 0
    earlier = everything(out)
    stopped = 0
    for sent, status, stderr in interrupt([COHORTIX, "analyze", run, "--force", "--ar1"], None, 20):
        check_stop("analyze", sent, status, stderr)
        stopped += status != 0
        now = everything(out)
        if status != 0 and now != earlier:
            failures.append(f"analyze stopped by {signal.Signals(sent).name} left {sorted(set(now) ^ set(earlier))}")

    temporary = fresh_folder("tmp")
    environment = dict(os.environ, TMPDIR=temporary)
    power = os.path.join(fresh_folder("power"), "out")
    command = [COHORTIX, "power", example("region-of-interest"), "--subjects", "4,6", "--replicates", "50",
               "-o", power, "-q", "--force"]
    for sent, status, stderr in interrupt(command, environment, 20):
        check_stop("power", sent, status, stderr)
        stopped += status != 0
        left = os.listdir(temporary)
        if left:
            failures.append(f"power stopped by {signal.Signals(sent).name} left {left} in the temporary folder")
            for name in left:
                subprocess.run(["rm", "-rf", os.path.join(temporary, name)])
    if stopped < 20:
        failures.append(f"only {stopped} of 40 commands were stopped before they finished")
    report_rounds(environment, temporary)
    if failures:
        sys.exit("FAIL:\n" + "\n".join(failures))
    print(f"{stopped} of 40: analyze and power (and report) stop on a signal with one line, their status, "
          "and nothing left behind")


if __name__ == "__main__":
    main()
