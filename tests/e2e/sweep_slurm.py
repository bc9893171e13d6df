"""A sweep on a Slurm cluster, for real: the test starts a one-node cluster of its
own (munged, slurmctld and slurmd as root, state under its temporary folder, no
accounting), writes the example grid's job-array script with cohortix sweep
slurm, submits it unchanged with sbatch --wait, and gathers the same table as the
same sweep run locally; a sweep of real power analyses over two noise profiles
and two seeds gathers the very same bytes both ways. Submitting the script again runs nothing: every task finds its design
complete. One power analysis planned as three blocks of its replicates (power
--slurm) runs as a job array and gathers into power.tsv and power.json byte for
byte as one power run makes them. The times of both paths are printed for
docs/performance.md.

Skipped, with the reason, where the daemons are missing or cannot start. Every
daemon the test started is stopped on every way out of it."""

import atexit
import ctypes
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import sys
import time

COHORTIX = os.environ["COHORTIX"]
SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
GRID = SOURCE / "examples" / "sweep" / "grid.toml"
DAEMONS = ("munged", "slurmctld", "slurmd")
CLIENTS = ("sbatch", "sinfo", "squeue", "scancel")


def fail(text):
    print("FAIL:", text, file=sys.stderr)
    sys.exit(1)


def skip(reason):
    print("SKIP:", reason)
    sys.exit(0)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def die_with_parent():
    """A daemon started here gets SIGTERM when the test process dies, however it
    dies (ctest's timeout kills it outright)."""
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Cluster:
    def __init__(self, folder):
        self.folder = folder
        self.conf = folder / "slurm.conf"
        self.socket = folder / "munge" / "munge.socket"
        self.daemons = []
        self.env = {**os.environ, "SLURM_CONF": str(self.conf)}

    def write_config(self):
        (self.folder / "munge").mkdir(parents=True)
        for name in ("state", "spool"):
            (self.folder / name).mkdir()
        key = self.folder / "munge" / "munge.key"
        key.write_bytes(os.urandom(1024))
        key.chmod(0o400)
        host = socket.gethostname()
        memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") // 2**20 // 2
        self.conf.write_text(f"""ClusterName=cohortixtest
SlurmctldHost={host}
SlurmctldPort={free_port()}
SlurmdPort={free_port()}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket={self.socket}
CredType=cred/munge
StateSaveLocation={self.folder / "state"}
SlurmdSpoolDir={self.folder / "spool"}
SlurmctldPidFile={self.folder / "slurmctld.pid"}
SlurmdPidFile={self.folder / "slurmd.pid"}
SlurmctldLogFile={self.folder / "slurmctld.log"}
SlurmdLogFile={self.folder / "slurmd.log"}
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
JobAcctGatherType=jobacct_gather/none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
MinJobAge=300
NodeName={host} CPUs={os.cpu_count()} RealMemory={memory} State=UNKNOWN
PartitionName=test Nodes={host} Default=YES MaxTime=INFINITE State=UP
""")
        return key

    def start_daemon(self, name, args):
        log = open(self.folder / f"{name}.out", "w")
        process = subprocess.Popen([shutil.which(name), *map(str, args)], stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                   env=self.env, preexec_fn=die_with_parent)
        self.daemons.append((name, process))
        time.sleep(0.2)
        if process.poll() is not None:
            raise RuntimeError(f"{name} ended at once: " +
                               (self.folder / f"{name}.out").read_text()[-2000:])

    def start(self):
        key = self.write_config()
        self.start_daemon("munged", ["--foreground", "--force", f"--key-file={key}",
                                     f"--socket={self.socket}",
                                     f"--pid-file={self.folder / 'munge' / 'munged.pid'}",
                                     f"--log-file={self.folder / 'munged.log'}",
                                     f"--seed-file={self.folder / 'munge' / 'munged.seed'}"])
        self.start_daemon("slurmctld", ["-D", "-c", "-i", "-f", self.conf])
        self.start_daemon("slurmd", ["-D", "-f", self.conf, "-N", socket.gethostname()])
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            state = self.client("sinfo", "-h", "-o", "%t", check=False).stdout.strip()
            if state == "idle":
                return
            for name, process in self.daemons:
                if process.poll() is not None:
                    raise RuntimeError(f"{name} ended: " + self.logs())
            time.sleep(0.25)
        raise RuntimeError(f"the node never became idle (state {state!r}): " + self.logs())

    def logs(self):
        return "".join(f"\n--- {path.name}\n" + path.read_text()[-1500:]
                       for path in sorted(self.folder.glob("*.out")) +
                       sorted(self.folder.glob("*.log")) if path.exists())

    def client(self, *args, check=True, timeout=120):
        result = subprocess.run(list(args), capture_output=True, text=True, env=self.env,
                                timeout=timeout)
        if check and result.returncode != 0:
            fail(f"{' '.join(args)}: exit status {result.returncode}\n{result.stdout}"
                 f"{result.stderr}{self.logs()}")
        return result

    def stop(self):
        if not self.daemons:
            return
        # No job of ours may outlive the cluster.
        if any(name == "slurmctld" and p.poll() is None for name, p in self.daemons):
            self.client("scancel", "--full", "--user=root", check=False, timeout=20)
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and self.client(
                    "squeue", "-h", "-t", "PENDING,RUNNING,COMPLETING", check=False,
                    timeout=20).stdout.strip():
                time.sleep(0.2)
        for name, process in reversed(self.daemons):
            if process.poll() is None:
                process.terminate()
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.daemons = []


def cohortix(*args, status=0, env=None):
    result = subprocess.run([COHORTIX, *map(str, args)], capture_output=True, text=True,
                            env={**os.environ, **(env or {})}, timeout=600)
    if status is not None and result.returncode != status:
        fail(f"cohortix {' '.join(map(str, args))}: exit status {result.returncode}\n"
             f"{result.stdout}{result.stderr}")
    return result


def without_seconds(table):
    return [line.rsplit("\t", 1)[0] for line in table.splitlines()]


def makespan(plan, submitted, pattern="jobs/*/complete"):
    """Seconds from the submission to the last file matching the pattern: when the
    last design was done, whatever the waiting client's polling adds."""
    return max(path.stat().st_mtime for path in plan.glob(pattern)) - submitted


def on_slurm(cluster, sweep, name, env=None):
    """Plans the sweep, submits its script unchanged and waits; the gathered table
    and the wall time of the submission."""
    plan = TMP / name
    cohortix("sweep", "plan", sweep, "-o", plan)
    printed = cohortix("sweep", "slurm", plan, "--throttle", "2", "--time", "10",
                       "--mem", "100M", "--cpus", "1").stdout
    script = plan / "sweep.sbatch"
    if printed != f"sbatch {script}\n":
        fail(f"sweep slurm printed {printed!r}")
    cluster.env.update(env or {})
    submitted = time.time()
    cluster.client("sbatch", "--wait", "--quiet", str(script), timeout=600)
    waited = time.time() - submitted
    logs = sorted(path.name for path in (plan / "logs").iterdir())
    if len(logs) != 4 or not all(name.endswith(f"_{n}.log") for name, n in zip(logs, "1234")):
        fail(f"task logs: {logs}")
    return plan, cohortix("sweep", "gather", plan).stdout, (makespan(plan, submitted), waited)


def locally(sweep, name, env=None):
    plan = TMP / name
    cohortix("sweep", "plan", sweep, "-o", plan)
    started = time.time()
    cohortix("sweep", "run", plan, "--jobs", "2", env=env)
    return plan, cohortix("sweep", "gather", plan).stdout, makespan(plan, started)


def resubmitted(cluster, plan):
    marks = {path: path.stat().st_mtime_ns for path in plan.glob("jobs/*/complete")}
    before = set((plan / "logs").iterdir())
    submitted = time.time()
    job = cluster.client("sbatch", "--wait", "--parsable", str(plan / "sweep.sbatch"),
                         timeout=600).stdout.strip().split(";")[0]
    if {path: path.stat().st_mtime_ns for path in plan.glob("jobs/*/complete")} != marks:
        fail("a resubmitted task ran a complete design again")
    for log in set((plan / "logs").iterdir()) - before:
        if "is complete already" not in log.read_text():
            fail(f"{log.name}: {log.read_text()}")
    return makespan(plan, submitted, f"logs/slurm-{job}_*.log")


def power_blocks_on_slurm(cluster):
    """One power analysis in three blocks of replicates, each an array task: the
    gathered tables are those of one power run, byte for byte."""
    study = SOURCE / "examples" / "sweep" / "tiny.cxd"
    options = ["--subjects", "4,6", "--replicates", "9", "--noise",
               SOURCE / "examples" / "noise" / "white-1percent.toml", "--seed", "7"]
    single = TMP / "power-single"
    cohortix("power", study, "-o", single, "-q", *options)
    plan = TMP / "power-blocks"
    cohortix("power", study, "--slurm", plan, "--blocks", "3", *options)
    submitted = time.time()
    cluster.client("sbatch", "--wait", "--quiet", str(plan / "sweep.sbatch"), timeout=600)
    logs = sorted(path.name for path in (plan / "logs").iterdir())
    if len(logs) != 3 or not all(name.endswith(f"_{n}.log") for name, n in zip(logs, "123")):
        fail(f"task logs: {logs}")
    cohortix("sweep", "gather", plan)
    for name in ("power.tsv", "power.json"):
        if (plan / name).read_bytes() != (single / name).read_bytes():
            fail(f"the blocks gathered another {name} than one power run:\n"
                 f"{(plan / name).read_text()}\n{(single / name).read_text()}")
    return makespan(plan, submitted)


def main():
    if os.geteuid() != 0:
        skip("the test cluster's daemons run as root, and this is not root")
    missing = [name for name in DAEMONS + CLIENTS if shutil.which(name) is None]
    if missing:
        skip(f"{', '.join(missing)} not installed (scripts/setup tests installs slurm-wlm "
             "and munge)")
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    cluster = Cluster(TMP / "cluster")
    atexit.register(cluster.stop)
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, lambda number, frame: sys.exit(128 + number))
    try:
        try:
            cluster.start()
        except (RuntimeError, OSError) as error:
            cluster.stop()
            skip(f"the one-node Slurm cluster did not start: {error}")

        local_plan, local_table, local_seconds = locally(GRID, "local")
        slurm_plan, slurm_table, slurm_seconds = on_slurm(cluster, GRID, "slurm")
        if without_seconds(slurm_table) != without_seconds(local_table):
            fail(f"Slurm gathered\n{slurm_table}\nlocally\n{local_table}")
        for design in ("d001", "d004"):
            local = local_plan / "jobs" / design / "output"
            # (The runs' records differ in their times and folders.)
            for path in (p for p in local.iterdir() if p.name != "cohortix-run.json"):
                if path.read_bytes() != (slurm_plan / "jobs" / design / "output" / path.name).read_bytes():
                    fail(f"{design}/{path.name} differs between Slurm and the local run")
        idle_seconds = resubmitted(cluster, slurm_plan)

        power = TMP / "power.toml"
        shutil.copy(SOURCE / "examples" / "sweep" / "tiny.cxd", TMP / "tiny.cxd")
        noise = SOURCE / "examples" / "noise"
        power.write_text('base = "tiny.cxd"\ncommand = "power"\n[options]\n'
                         '"--subjects" = [4, 6]\n"--replicates" = 10\n[vary]\n'
                         f'"--noise" = ["{noise / "white-1percent.toml"}", "{noise / "3T-TR2-3mm.toml"}"]\n'
                         '"--seed" = [1, 2]\n')
        _, local_power, _ = locally(power, "local-power")
        _, slurm_power, _ = on_slurm(cluster, power, "slurm-power")
        if slurm_power != local_power or len(local_power.splitlines()) != 1 + 4 * 144:
            fail(f"Slurm gathered\n{slurm_power}\nlocally\n{local_power}")
        blocks_seconds = power_blocks_on_slurm(cluster)
    finally:
        cluster.stop()
    # Figures for docs/performance.md: from starting the sweep to the last design
    # done (its completion file, or for the idle array its last task's log).
    print(f"4 designs of examples/sweep/grid.toml, 2 at a time: locally {local_seconds:.2f} s; "
          f"as a Slurm array {slurm_seconds[0]:.2f} s (sbatch --wait returned after "
          f"{slurm_seconds[1]:.2f} s); the array again, every design complete, "
          f"{idle_seconds:.2f} s; a power analysis in 3 blocks of replicates, {blocks_seconds:.2f} s")
    shutil.rmtree(TMP, ignore_errors=True)


main()
