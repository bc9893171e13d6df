"""Commands that run out of memory say so in one line and leave nothing behind:
`power` asked for thousands of threads, each holding a subject and its
replicate, is refused before it simulates (status 5, its figure), and so is
`analyze` of a study under an address-space limit below its need; under a limit
too small to start, every command ends with status 1, one "not enough memory" line
and no "terminate called"; none leaves a temporary in the analysis folder."""
import os
import resource
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix  # noqa: E402

COHORTIX = os.environ["COHORTIX"]
failures = []


def limited(megabytes):
    def apply():
        limit = megabytes * 1024 * 1024
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    return apply


def check_out_of_memory(name, command, megabytes, env, status=1, start="cohortix: not enough memory"):
    done = subprocess.run(command, capture_output=True, text=True, env=env, preexec_fn=limited(megabytes))
    lines = done.stderr.splitlines()
    if done.returncode != status or len(lines) != 1 or not lines[0].startswith(start):
        failures.append(f"{name}: status {done.returncode}, said {done.stderr!r}")


def main():
    base = fresh_folder("out_of_memory")
    temporary = os.path.join(base, "tmp")
    os.makedirs(temporary)
    env = {**os.environ, "TMPDIR": temporary}
    check_out_of_memory("power", [COHORTIX, "power", os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "examples", "sweep", "tiny.cxd"), "--subjects", "4", "--replicates",
                                  "1000000", "--jobs", "4096", "-o", os.path.join(base, "power"), "-q"], 600, env,
                        status=5, start="cohortix: the power analysis needs about 782 MB of memory")
    if os.listdir(temporary):
        failures.append(f"power left {os.listdir(temporary)} in the temporary folder")
    run = os.path.join(base, "run")
    done = run_cohortix(example("faces-and-places"), "-o", run)
    if done.returncode != 0:
        failures.append(f"the run to analyse: {done.stderr}")
    analysis = os.path.join(base, "analysis")
    check_out_of_memory("analyze", [COHORTIX, "analyze", run, "-o", analysis], 60, env)
    check_out_of_memory("analyze", [COHORTIX, "analyze", run, "-o", analysis], 110, env,
                        status=5, start="cohortix: the analysis needs about 127 MB of memory")
    left = [n for n in os.listdir(analysis) if n.startswith(".cohortix")] if os.path.isdir(analysis) else []
    if left:
        failures.append(f"analyze left temporaries: {left}")
    # Too little to start its threads: every command still ends with one line.
    for name, command in (("run", ["run", example("faces-and-places"), "-o", os.path.join(base, "tiny-run")]),
                          ("analyze", ["analyze", run, "-o", os.path.join(base, "tiny-analysis")]),
                          ("report", ["report", run, "-o", os.path.join(base, "tiny.html")]),
                          ("power", ["power", example("faces-and-places"), "--subjects", "4", "--replicates", "2",
                                     "-o", os.path.join(base, "tiny-power"), "-q"])):
        done = subprocess.run([COHORTIX, *command], capture_output=True, text=True, env=env,
                              preexec_fn=limited(20))
        lines = done.stderr.splitlines()
        said = lines[0] if len(lines) == 1 else ""
        if not ((done.returncode == 1 and said.startswith("cohortix: not enough memory")) or
                (done.returncode == 5 and "of memory" in said)):
            failures.append(f"{name} at 20 MB: status {done.returncode}, said {done.stderr!r}")
    if failures:
        print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
        sys.exit(1)
    print("out of memory: one line, status 1, nothing left behind")


if __name__ == "__main__":
    main()
