"""A run whose folders' file system has too little room for the volumes it is
sure to write is refused before it simulates: status 5, one line naming the
folder, the need and the space free, and no file written. Needs a small file
system of its own (a tmpfs, mounted as root); elsewhere it says so and passes."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix  # noqa: E402


def files_under(folder):
    return [os.path.join(d, f) for d, _, names in os.walk(folder) for f in names]


def main():
    small = fresh_folder("small")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=20m", "tmpfs", small],
                      capture_output=True).returncode != 0:
        print("skipped: no tmpfs can be mounted here")
        return
    try:
        failures = []
        for name, options in (("native", ["-o", os.path.join(small, "native")]),
                              ("bids", ["-o", os.path.join(fresh_folder("native"), "n"), "--bids",
                                        os.path.join(small, "bids")])):
            done = run_cohortix(example("faces-and-places"), *options)
            lines = done.stderr.splitlines()
            if (done.returncode != 5 or len(lines) != 1 or "no room to write" not in lines[0]
                    or "MB free" not in lines[0] or files_under(small)):
                failures.append(f"{name}: status {done.returncode}, said {done.stderr!r}, "
                                f"left {files_under(small)}")
        if failures:
            sys.exit("FAIL:\n" + "\n".join(failures))
        print("runs without room on their disk are refused before they simulate")
    finally:
        subprocess.run(["umount", small])


if __name__ == "__main__":
    main()
