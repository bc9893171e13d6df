"""A .vtc as docs/formats.md describes it, read with numpy alone: header fields,
dimensions, repetition time and data layout agree with the .prt and .rtc of the
same subject."""
import os
import shutil
import subprocess
import sys

import numpy as np

tmp = os.environ["COHORTIX_TEST_TMP"]
os.makedirs(tmp, exist_ok=True)
source = open(os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "data", "two-by-two.cxd")).read()
small = (source.replace("SubjectsPerGroup: 5", "SubjectsPerGroup: 1")
         .replace("BoxZ: 100 160", "BoxZ: 100 109").replace("BoxX: 60 180", "BoxX: 60 75")
         .replace("BoxY: 50 152", "BoxY: 50 62"))
control = os.path.join(tmp, "small.cxd")
open(control, "w").write(small)
out = os.path.join(tmp, "out")
shutil.rmtree(out, ignore_errors=True)  # a rerun is no earlier run of ours
subprocess.run([os.environ["COHORTIX"], "run", control, "-o", out, "--tr", "1.5", "-q"], check=True)

raw = open(os.path.join(out, "S1_G1_SimA.vtc"), "rb").read()
assert raw[:4] == b"CXVT", raw[:4]
version, offset = np.frombuffer(raw, "<u4", 2, 4)
assert (version, offset) == (1, 84), (version, offset)
fields = np.frombuffer(raw, "<i4", 13, 12)
volumes = fields[1]
assert list(fields[3:13]) == [1, 1, 60, 75, 50, 62, 100, 109, 3, 2], fields
dims = tuple(np.frombuffer(raw, "<i4", 3, 64))
assert dims == (5, 4, 3), dims
assert np.frombuffer(raw, "<f8", 1, 76)[0] == 1.5
assert volumes == 212, volumes
data = np.frombuffer(raw, "<f4", offset=int(offset))
assert data.size == 5 * 4 * 3 * volumes, data.size
courses = data.reshape(3, 4, 5, volumes)  # z, y, x, t
assert np.all(np.isfinite(courses)) and 500 < courses.mean() < 1500, courses.mean()

rows = [line.split() for line in open(os.path.join(out, "S1_G1_SimA.rtc"))
        if line[:1] not in ("#", "F", "N", "P", "\n")]
assert len(rows) == volumes and all(len(r) == 4 for r in rows), len(rows)
print("vtc layout as documented")
sys.exit(0)
