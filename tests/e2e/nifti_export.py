"""`cohortix run --nifti`: beside every .vtc a NIfTI volume holding exactly its
values, float32, in Talairach space with millimetres and seconds; beside every
.prt its trials as events in seconds, beside every .rtc its predictors as a table.
On the noise-free study each region's signal-weighted centroid lies within half a
voxel of its Talairach centre. Refusals: --gzip alone, --bids into an occupied
folder."""
import glob
import os
import sys

import nibabel as nib
import numpy as np

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import (RESOLUTION, Vtc, example, expected_affine, fresh_folder, read_prt,
                          read_rtc, read_tsv, run_cohortix)


def check_volume(nii_path, vtc):
    image = nib.load(nii_path)
    header = image.header
    volumes = vtc.data.shape[3]
    assert header.get_data_dtype() == np.float32, (nii_path, header.get_data_dtype())
    assert image.shape == (*vtc.dims, volumes), (nii_path, image.shape)
    data = np.asanyarray(image.dataobj)
    assert data.dtype == np.float32, data.dtype
    assert np.array_equal(data, vtc.as_nifti_order()), f"{nii_path}: values differ from the .vtc"
    affine = expected_affine(vtc)
    assert np.array_equal(image.get_sform(), affine), (nii_path, image.get_sform())
    assert np.allclose(image.get_qform(), affine, atol=1e-4), (nii_path, image.get_qform())
    assert (int(header["sform_code"]), int(header["qform_code"])) == (3, 3), "not Talairach"
    assert header.get_xyzt_units() == ("mm", "sec"), header.get_xyzt_units()
    r = float(vtc.field(RESOLUTION))
    assert header.get_zooms() == (r, r, r, np.float32(vtc.tr)), header.get_zooms()
    return image


def check_events(events_path, prt_path, tr):
    header, rows = read_tsv(events_path)
    assert header == ["onset", "duration", "trial_type"], header
    expected = sorted(((first - 1) * tr, (last - first + 1) * tr, name)
                      for name, intervals in read_prt(prt_path) if name != "Baseline"
                      for first, last in intervals)
    found = [(float(onset), float(duration), name) for onset, duration, name in rows]
    assert [f[0] for f in found] == sorted(f[0] for f in found), "events out of time order"
    assert len(found) == len(expected) and all(
        abs(a[0] - b[0]) < 1e-9 and abs(a[1] - b[1]) < 1e-9 and a[2] == b[2]
        for a, b in zip(sorted(found), expected)), (events_path, found[:3], expected[:3])


def check_design(design_path, rtc_path):
    header, rows = read_tsv(design_path)
    names, matrix = read_rtc(rtc_path)
    assert header == names, (header, names)
    table = np.array([[float(v) for v in row] for row in rows], dtype=np.float64)
    assert table.shape == matrix.shape, (table.shape, matrix.shape)
    assert np.array_equal(table.astype(np.float32), matrix.astype(np.float32)), design_path


def check_subjects(out, gzip):
    suffix = ".nii.gz" if gzip else ".nii"
    vtcs = sorted(glob.glob(os.path.join(out, "*.vtc")))
    assert vtcs, f"no .vtc in {out}"
    for vtc_path in vtcs:
        stem = vtc_path[:-4]
        vtc = Vtc(vtc_path)
        check_volume(stem + suffix, vtc)
        check_events(stem + "_events.tsv", stem + ".prt", vtc.tr)
        check_design(stem + "_design.tsv", stem + ".rtc")
    leftovers = [f for f in os.listdir(out) if f.startswith(".")]
    assert not leftovers, f"temporary files left: {leftovers}"
    return vtcs


def region_centres(control_path):
    """Talairach centres of the control file's regions, in order."""
    return [tuple(int(v) for v in line.split()[1:4])
            for line in open(control_path) if line.startswith("Center:")]


def check_centroids(vtc_path, nii_path, centres, baseline):
    image = nib.load(nii_path)
    signal = np.abs(np.asanyarray(image.dataobj) - baseline).mean(axis=3)
    voxels = np.argwhere(signal > 0)
    weights = signal[tuple(voxels.T)]
    points = nib.affines.apply_affine(image.affine, voxels)
    nearest = np.argmin([[np.linalg.norm(p - c) for c in centres] for p in points], axis=1)
    half_voxel = image.header.get_zooms()[0] / 2
    for r, centre in enumerate(centres):
        mine = nearest == r
        assert mine.any(), f"{vtc_path}: no signal around region {r + 1} at {centre}"
        centroid = np.average(points[mine], axis=0, weights=weights[mine])
        assert np.all(np.abs(centroid - centre) <= half_voxel + 1e-9), (r + 1, centroid, centre)


def main():
    # Noise-free, uncompressed: values, tables, and where the regions' signal lies.
    out = fresh_folder("noise-free")
    result = run_cohortix(example("noise-free"), "-o", out, "--nifti")
    assert result.returncode == 0, result.stderr
    centres = region_centres(example("noise-free"))
    for vtc_path in check_subjects(out, gzip=False):
        check_centroids(vtc_path, vtc_path[:-4] + ".nii", centres, baseline=1000.0)

    # Two groups, compressed, another repetition time.
    out = fresh_folder("two-by-two")
    result = run_cohortix(example("two-by-two"), "-o", out, "--nifti", "--gzip", "--tr", "2.5")
    assert result.returncode == 0, result.stderr
    assert len(check_subjects(out, gzip=True)) == 10

    # --gzip compresses the volumes of --nifti or --bids: alone it is a usage error.
    result = run_cohortix(example("noise-free"), "-o", fresh_folder("gzip-alone"), "--gzip")
    assert result.returncode == 2, (result.returncode, result.stderr)

    # A dataset folder that holds something already is refused before the run.
    occupied = fresh_folder("occupied")
    open(os.path.join(occupied, "notes.txt"), "w").write("mine\n")
    out = fresh_folder("occupied-out")
    result = run_cohortix(example("noise-free"), "-o", out, "--bids", occupied)
    assert result.returncode == 5, (result.returncode, result.stderr)
    assert "not empty" in result.stderr and occupied in result.stderr, result.stderr
    assert os.listdir(out) == [] and os.listdir(occupied) == ["notes.txt"]
    print("NIfTI volumes, events and design tables agree with the native files")


main()
