"""Whether the files of a run are whole: each .prt, .rtc, .vtc and exported .nii
holds exactly what its own header announces, no less and nothing after it, and each
exported .tsv ends its last row, and the run's record is whole JSON. Used by the end-to-end tests
of runs that are interrupted or meet a full disk."""

import gzip
import json
import pathlib
import re
import struct

VTC_HEADER_SIZE = 84


def vtc_problem(data):
    if len(data) < VTC_HEADER_SIZE or data[:4] != b"CXVT":
        return "no whole header"
    offset = struct.unpack_from("<I", data, 8)[0]
    volumes = struct.unpack_from("<i", data, 16)[0]
    dims = struct.unpack_from("<3i", data, 64)
    expected = offset + 4 * dims[0] * dims[1] * dims[2] * max(volumes, 0)
    if len(data) != expected:
        return f"{len(data)} bytes where its header announces {expected}"
    return None


def _number_after(label, lines, index):
    match = re.fullmatch(label + r": (-?\d+)", lines[index]) if index < len(lines) else None
    if match is None:
        raise ValueError(f"line {index + 1}: expected {label}")
    return int(match.group(1))


def rtc_problem(data):
    lines = data.decode("utf-8", "replace").split("\n")
    if lines[-1] != "":
        return "does not end with a line break"
    lines.pop()
    try:
        predictors = _number_after("NrOfPredictors", lines, 2)
        volumes = _number_after("NrOfVolumes", lines, 3)
    except ValueError as error:
        return str(error)
    rows = lines[4 + predictors:]
    if len(rows) != volumes:
        return f"{len(rows)} rows where its header announces {volumes}"
    if any(len(row.split()) != predictors for row in rows):
        return "a row without a value for every predictor"
    return None


def prt_problem(data):
    lines = data.decode("utf-8", "replace").split("\n")
    if lines[-1] != "":
        return "does not end with a line break"
    lines = [line for line in lines if line.strip()]
    try:
        conditions = _number_after("NrOfConditions", lines, 5)
        index = 6
        for _ in range(conditions):
            intervals = _number_after("NrOfIntervals", lines, index + 2)
            index += 3 + intervals
    except ValueError as error:
        return str(error)
    if index != len(lines):
        return f"{len(lines) - index} lines after its last condition"
    return None


def nii_problem(data):
    if len(data) < 352 or struct.unpack_from("<i", data, 0)[0] != 348:
        return "no whole NIfTI header"
    dims = struct.unpack_from("<8h", data, 40)
    bits = struct.unpack_from("<h", data, 72)[0]
    expected = int(struct.unpack_from("<f", data, 108)[0])
    values = 1
    for size in dims[1:1 + dims[0]]:
        values *= size
    expected += values * bits // 8
    if len(data) != expected:
        return f"{len(data)} bytes where its header announces {expected}"
    return None


def tsv_problem(data):
    lines = data.decode("utf-8", "replace").split("\n")
    if lines[-1] != "":
        return "does not end with a line break"
    columns = {line.count("\t") for line in lines[:-1]}
    if len(columns) != 1:
        return "rows with differing numbers of columns"
    return None


def json_problem(data):
    try:
        json.loads(data)
    except ValueError as error:
        return f"not whole JSON: {error}"
    return None


CHECKS = {".json": json_problem, ".vtc": vtc_problem, ".rtc": rtc_problem, ".prt": prt_problem, ".nii": nii_problem,
          ".tsv": tsv_problem}


def gz_problem(data):
    """A gzip stream read to its end (CRC and length checked) holding a whole NIfTI image."""
    try:
        return nii_problem(gzip.decompress(data))
    except (OSError, EOFError) as error:
        return f"not a whole gzip stream: {error}"


CHECKS[".gz"] = gz_problem


def incomplete_files(folder):
    """(name, problem) of every output file in folder that is not whole, and of
    everything there that is no output file at all (a temporary, say)."""
    found = []
    for path in sorted(pathlib.Path(folder).iterdir()):
        check = CHECKS.get(path.suffix)
        problem = check(path.read_bytes()) if check else "not an output file"
        if problem:
            found.append((path.name, problem))
    return found
