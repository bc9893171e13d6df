"""`cohortix noise-stats`: the estimators checked against an independent numpy/scipy
computation of the same formulas (docs/noise.md) on a NIfTI image written here:
temporal SNR, the fit-corrected AR(1), the FWHM per axis, the periodic peak. The
same data as .nii.gz (float32), .nii (int16 with a scale factor, beside the .nii.gz
of the same name), big-endian .nii and .vtc read alike; --mask, --json, --profile-out; files that are not 4-D images refused."""
import json
import os
import struct
import subprocess
import sys
import tomllib

import nibabel as nib
import numpy as np
from scipy import ndimage, optimize

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import fresh_folder

TR = 2.0
CUTOFF = 128.0
SHAPE = (20, 18, 10, 160)
VOXEL_MM = (3.0, 3.0, 3.5)


def noise_stats(*arguments):
    return subprocess.run([os.environ["COHORTIX"], "noise-stats", *arguments], capture_output=True, text=True)


def make_data():
    """Baseline 1000, AR(1) 0.4 noise smoothed in space, a 0.2 Hz rhythm of 0.8 %."""
    rng = np.random.default_rng(20240607)
    nx, ny, nz, n = SHAPE
    e = rng.standard_normal(SHAPE)
    for t in range(1, n):
        e[..., t] = 0.4 * e[..., t - 1] + np.sqrt(1 - 0.16) * e[..., t]
    e = ndimage.gaussian_filter(e, sigma=(0.9, 0.9, 0.8, 0), mode="wrap")
    e *= 12.0 / e.std()
    phase = rng.uniform(0, 2 * np.pi, SHAPE[:3])
    rhythm = 8.0 * np.cos(2 * np.pi * 0.2 * TR * np.arange(n) + phase[..., None])
    return (1000.0 + e + rhythm).astype(np.float32)


def save_nifti(data, path, dtype=np.float32, slope=None):
    image = nib.Nifti1Image(data if slope is None else np.round(data / slope).astype(dtype), np.eye(4))
    image.header.set_data_dtype(dtype)
    image.header.set_zooms(VOXEL_MM + (TR,))
    image.header.set_xyzt_units("mm", "sec")
    if slope is not None:
        image.header.set_slope_inter(slope, 0.0)
    nib.save(image, path)


def save_vtc(data, path):
    """docs/formats.md: header, then voxel-major data with time fastest."""
    nx, ny, nz, n = data.shape
    fields = [0, n, 0, 1, 0, 0, 3 * nx, 0, 3 * ny, 0, 3 * nz, 3, 2]
    header = b"CXVT" + struct.pack("<II", 1, 84) + struct.pack("<13i", *fields)
    header += struct.pack("<iiid", nx, ny, nz, TR)
    with open(path, "wb") as out:
        out.write(header)
        out.write(np.ascontiguousarray(data.transpose(2, 1, 0, 3)).astype("<f4").tobytes())


def reference_statistics(data):
    """The formulas of docs/noise.md with explicit matrices."""
    nx, ny, nz, n = data.shape
    orders = int(np.floor(2 * n * TR / CUTOFF + 1e-9))
    t = np.arange(n)
    design = np.column_stack([np.ones(n)] + [np.sqrt(2) * np.cos(np.pi * k * (t + 0.5) / n)
                                              for k in range(1, orders + 1)])
    x = data.reshape(-1, n).astype(np.float64)
    mean = x.mean(axis=1)
    beta, *_ = np.linalg.lstsq(design, x.T, rcond=None)
    residuals = 100.0 * (x.T - design @ beta).T / mean[:, None]
    dof = n - 1 - orders
    sd = np.sqrt((residuals ** 2).sum(axis=1) / dof)
    tsnr = np.median(100.0 / sd)

    ratio = (residuals[:, :-1] * residuals[:, 1:]).sum() / (residuals ** 2).sum()
    r_matrix = np.eye(n) - design @ np.linalg.pinv(design)

    def expected_ratio(rho):
        w = r_matrix @ (rho ** np.abs(t[:, None] - t[None, :])) @ r_matrix
        return np.trace(w, 1) / np.trace(w)
    ar1 = optimize.brentq(lambda rho: expected_ratio(rho) - ratio, -0.99, 0.99, xtol=1e-10)

    u = (residuals / sd[:, None]).reshape(nx, ny, nz, n)
    fwhm = []
    for axis, size in enumerate(VOXEL_MM):
        d = np.diff(u, axis=axis)
        pairs = d.size / n
        c = 1.0 - (d ** 2).sum() / (2.0 * pairs * dof)
        fwhm.append(size * np.sqrt(-2 * np.log(2) / np.log(c)))
    return tsnr, ar1, fwhm


def main():
    folder = fresh_folder("noise_stats")
    data = make_data()
    gz, int16, vtc = (os.path.join(folder, name) for name in ("data.nii.gz", "data.nii", "data.vtc"))
    save_nifti(data, gz)
    save_nifti(data, int16, np.int16, slope=0.05)
    save_vtc(data, vtc)

    result = noise_stats(gz, "--json")
    assert result.returncode == 0, result.stderr
    stats = json.loads(result.stdout)
    tsnr, ar1, fwhm = reference_statistics(data)
    assert stats["mask_voxels"] == np.prod(SHAPE[:3]), stats["mask_voxels"]
    assert abs(stats["tsnr"] - tsnr) < 1e-3 * tsnr, (stats["tsnr"], tsnr)
    assert abs(stats["ar1"] - ar1) < 1e-4, (stats["ar1"], ar1)
    for found, expected in zip(stats["fwhm_mm"], fwhm):
        assert abs(found - expected) < 1e-3 * expected, (stats["fwhm_mm"], fwhm)
    assert abs(stats["fwhm_mean_mm"] - np.mean(fwhm)) < 1e-3 * np.mean(fwhm)
    # The rhythm: one bin of 1 / (n TR), and its amplitude within 10 %.
    peak = stats["periodic"][0]
    assert abs(peak["frequency_hz"] - 0.2) <= 1.0 / (SHAPE[3] * TR), peak
    assert abs(peak["amplitude_percent"] - 0.8) < 0.08, peak

    # The same values as int16 with a scale factor, big-endian, and as our .vtc
    # (whose voxels are cubes of 3 mm: z differs).
    big = os.path.join(folder, "big-endian.nii")
    swapped = nib.Nifti1Image(data.astype(">f4"), np.eye(4), header=nib.load(gz).header.as_byteswapped(">"))
    nib.save(swapped, big)
    for other, tolerance in ((int16, 2e-3), (big, 1e-6), (vtc, 1e-6)):
        again = noise_stats(other, "--json")
        assert again.returncode == 0, again.stderr
        values = json.loads(again.stdout)
        for key in ("tsnr", "ar1", "drift_percent"):
            assert abs(values[key] - stats[key]) <= tolerance * max(1.0, abs(stats[key])), (other, key, values[key], stats[key])
        for axis in (0, 1):
            assert abs(values["fwhm_mm"][axis] - stats["fwhm_mm"][axis]) <= tolerance * stats["fwhm_mm"][axis], other
    text = noise_stats(vtc)
    assert text.returncode == 0 and "AR(1)" in text.stdout and "0.2000 Hz" in text.stdout, text.stdout

    # A mask: the voxels given, nothing else.
    mask = np.zeros(SHAPE[:3], np.uint8)
    mask[:10] = 1
    mask_path = os.path.join(folder, "mask.nii.gz")
    nib.save(nib.Nifti1Image(mask, np.eye(4)), mask_path)
    masked = noise_stats(gz, "--mask", mask_path, "--json")
    assert masked.returncode == 0, masked.stderr
    assert json.loads(masked.stdout)["mask_voxels"] == mask.sum()

    # The profile reproduces the statistics it was measured from.
    profile = os.path.join(folder, "measured.toml")
    written = noise_stats(gz, "--profile-out", profile)
    assert written.returncode == 0, written.stderr
    with open(profile, "rb") as source:
        target = tomllib.load(source)["target"]
    assert abs(target["tsnr"] - stats["tsnr"]) < 1e-4 * stats["tsnr"], target
    assert abs(target["ar1"] - stats["ar1"]) < 1e-5 and len(target["rhythm"]) == 1, target

    # Refusals: one message naming the file, status 1; an unwritable profile, status 4.
    three_d = os.path.join(folder, "anatomy.nii")
    nib.save(nib.Nifti1Image(np.ones((4, 4, 4), np.float32), np.eye(4)), three_d)
    small_mask = os.path.join(folder, "small.nii")
    nib.save(nib.Nifti1Image(np.ones((4, 4, 4), np.uint8), np.eye(4)), small_mask)
    cut = os.path.join(folder, "cut.nii")
    with open(int16, "rb") as source, open(cut, "wb") as out:
        out.write(source.read(352 + 1000))
    absurd = os.path.join(folder, "absurd.vtc")
    with open(vtc, "rb") as source:
        header = bytearray(source.read(84))
    header[16:20] = struct.pack("<i", 2 ** 31 - 1)
    header[64:76] = struct.pack("<3i", 2 ** 31 - 1, 2 ** 31 - 1, 2 ** 31 - 1)
    with open(absurd, "wb") as out:
        out.write(header)
    # Not time series: four volumes, and a map whose sidecar says what it holds.
    short = os.path.join(folder, "short.nii.gz")
    nib.save(nib.Nifti1Image(np.random.default_rng(2).normal(100, 1, (6, 6, 6, 4)).astype(np.float32), np.eye(4)), short)
    beta = os.path.join(folder, "S1_beta.nii.gz")
    nib.save(nib.Nifti1Image(np.random.default_rng(3).normal(100, 1, (6, 6, 6, 40)).astype(np.float32), np.eye(4)), beta)
    with open(os.path.join(folder, "S1_beta.json"), "w") as out:
        json.dump({"Values": "beta of each cell"}, out)
    empty_mask = os.path.join(folder, "empty.nii")
    nib.save(nib.Nifti1Image(np.zeros(SHAPE[:3], np.uint8), np.eye(4)), empty_mask)
    for arguments, status, message in (
            ((cut,), 1, "the header promises 1152000 bytes of data, the file holds 1000"),
            ((absurd,), 1, "expected a size its dimensions can have"),
            ((gz, "--mask", empty_mask), 1, "expected voxels in the mask with a positive, varying signal"),
            ((os.path.join(folder, "missing.nii.gz"),), 1, "No such file or directory"),
            ((three_d,), 1, "expected a 4-D image"),
            ((short,), 1, "expected a time series of at least 10 volumes, found 4"),
            ((beta,), 1, "expected a time series, found a map: its sidecar S1_beta.json says it holds beta of each cell"),
            ((profile,), 1, "expected a .vtc, .nii or .nii.gz image"),
            ((gz, "--mask", small_mask), 1, "expected a mask of 20 x 18 x 10 voxels, found 4 x 4 x 4"),
            ((gz, "--profile-out", os.path.join(folder, "no", "such.toml")), 4, "cannot write")):
        refused = noise_stats(*arguments)
        assert refused.returncode == status, (arguments, refused.returncode, refused.stderr)
        assert refused.stderr.startswith("cohortix: ") and message in refused.stderr, refused.stderr
    print("noise-stats agrees with numpy and scipy")


main()
