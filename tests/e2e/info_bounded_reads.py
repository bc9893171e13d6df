"""`cohortix info` on files larger than the memory it may use: a VTC of 1.6 GB under
an address-space limit of 1 GB is summarised (read a piece at a time), a link to
/dev/zero is refused as no regular file without holding up the files after it, and
output that cannot be written fails the command."""

import os
import pathlib
import resource
import struct
import subprocess
import sys

COHORTIX = os.environ["COHORTIX"]
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
failures = []

TMP.mkdir(parents=True, exist_ok=True)
# 256 x 256 x 128 voxels, 48 volumes of zeros: 1.6 GB, sparse on the disk.
dims, volumes = (256, 256, 128), 48
fields = [0] * 13
fields[1] = volumes
big = TMP / "big.vtc"
with open(big, "wb") as file:
    file.write(b"CXVT" + struct.pack("<II", 1, 84) + struct.pack("<13i", *fields) +
               struct.pack("<3id", *dims, 2.0))
    file.truncate(84 + 4 * volumes * dims[0] * dims[1] * dims[2])
zero = TMP / "zero.vtc"
if not zero.exists():
    zero.symlink_to("/dev/zero")


def limit():
    # The sanitized build reserves terabytes of address space for its shadow memory
    # and cannot start under an address-space limit; its runs go unlimited.
    if os.environ.get("ASAN_OPTIONS"):
        return
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


info = subprocess.run([COHORTIX, "info", str(zero), str(big)], capture_output=True, text=True,
                      timeout=300, preexec_fn=limit)
if info.returncode != 1 or info.stderr != f"cohortix: {zero} is not a regular file\n":
    failures.append(f"status {info.returncode}, messages {info.stderr!r}")
expected = f"{big}: volume time course, 256 x 256 x 128 voxels, 48 volumes, repetition time 2 s"
if expected not in info.stdout.splitlines() or "  values from 0 to 0, mean 0" not in info.stdout:
    failures.append(f"the large VTC: {info.stdout!r}")
full = subprocess.run(f"{COHORTIX} info {big} > /dev/full", shell=True, capture_output=True, text=True,
                      timeout=300)
if full.returncode == 0 or "cannot write to the standard output" not in full.stderr:
    failures.append(f"> /dev/full: status {full.returncode}, {full.stderr!r}")
big.unlink()
if failures:
    print("FAIL:", *failures, sep="\n  ", file=sys.stderr)
    sys.exit(1)
print("info reads any size in bounded pieces and only regular files")
