"""`cohortix run --anatomy --slice-order`: each volume's slices acquired one after
the other. Each _bold.json gives SliceTiming along the image's third axis
(interleaved: slices 0, 2, 4, ..., then 1, 3, 5, ...), as the native truth does,
the dataset passes the BIDS validator, and each
region voxel's noise-free signal is the truth's effects times the events'
boxcars convolved with a two-gamma response (scipy's gamma densities) sampled at
that voxel's slice time, not at the volume's start; slice-timing correction
done here (each slice's series moved by cubic splines to the volume's start,
from SliceTiming) gives first-level betas (least squares with the run's design
table, an intercept and the cosine drifts) closer to the truth's effects than
the uncorrected data do; --slice-order without --anatomy is refused with
status 2."""
import json
import os
import sys

import nibabel as nib
import numpy as np
from scipy import interpolate, stats

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import bids_validator_issues, fresh_folder, read_tsv, run_cohortix, small_whole_brain  # noqa: E402

TR = 2.0
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(name, *options, status=0):
    folder = fresh_folder(name)
    control = os.path.join(folder, "study.cxd")
    open(control, "w", encoding="utf-8").write(small_whole_brain(0))
    done = run_cohortix(control, "-o", os.path.join(folder, "native"), "--truth", "--bids",
                        os.path.join(folder, "bids"), *options)
    check(done.returncode == status, f"{name}: status {done.returncode}, {done.stderr}")
    return folder, done


def image(path):
    return np.asanyarray(nib.load(path).dataobj).astype(np.float64)


def kernel_at(offset):
    """The two-gamma response sampled at offset, TR + offset, ... up to 32 s, summing to 1."""
    times = np.arange(0, 32 + TR, TR) + offset
    times = times[times <= 32]
    samples = stats.gamma.pdf(times, 6) - stats.gamma.pdf(times, 16) / 6
    return samples / samples.sum()


def check_slice_timing(timing, slices, multiband=1, acquisition=TR):
    """Interleaved within each of the multiband's bands, the same place of every
    band at the same time."""
    check(len(timing) == slices, f"{len(timing)} slice times for {slices} slices")
    band = slices // multiband
    order = list(range(0, band, 2)) + list(range(1, band, 2))
    expected = [order.index(k % band) * acquisition / band for k in range(slices)]
    check(np.allclose(timing, expected, atol=1e-9), f"slice times {timing}, expected {expected}")


def check_signal(folder, multiband=1):
    func = os.path.join(folder, "bids", "sub-1", "func")
    sidecar = json.load(open(os.path.join(func, "sub-1_task-WholeBrain_bold.json"), encoding="utf-8"))
    data = image(os.path.join(func, "sub-1_task-WholeBrain_bold.nii"))
    timing = np.array(sidecar["SliceTiming"])
    check_slice_timing(timing, data.shape[2], multiband)
    check(sidecar.get("MultibandAccelerationFactor", 1) == multiband and
          (multiband > 1) == ("MultibandAccelerationFactor" in sidecar), f"the multiband factor in {sidecar}")
    native_timing = json.load(open(os.path.join(folder, "native", "WholeBrain_truth_slice_timing.json")))
    check(native_timing["SliceTiming"] == sidecar["SliceTiming"] and native_timing["SliceOrder"] == "interleaved",
          f"the native truth's slice times {native_timing}")
    native = os.path.join(folder, "native", "S1_G1_WholeBrain")
    truth = json.load(open(native + "_truth.json", encoding="utf-8"))
    baseline = image(native + "_truth_baseline.nii")
    effects = image(native + "_truth_effects.nii")
    regions = image(native + "_truth_regions.nii") > 0
    _, rows = read_tsv(os.path.join(func, "sub-1_task-WholeBrain_events.tsv"))
    volumes = data.shape[3]
    boxcars = np.zeros((volumes, len(truth["Cells"])))
    for onset, duration, trial_type in rows:
        first = int(round(float(onset) / TR))
        boxcars[first:first + int(round(float(duration) / TR)), truth["Cells"].index(trial_type)] = 1
    worst = unshifted = 0.0
    for k in range(data.shape[2]):
        inside = regions[:, :, k]
        if not inside.any():
            continue
        def predicted(kernel):
            predictors = np.stack([np.convolve(boxcars[:, p], kernel)[:volumes] for p in range(boxcars.shape[1])], 1)
            signal = truth["OnePercent"] * np.einsum("vp,tp->vt", effects[:, :, k][inside], predictors)
            return baseline[:, :, k][inside][:, None] + signal
        found = data[:, :, k, :][inside]
        worst = max(worst, np.abs(found - predicted(kernel_at(timing[k]))).max())
        unshifted = max(unshifted, np.abs(found - predicted(kernel_at(0.0))).max())
    scale = truth["OnePercent"]
    check(worst < 1e-3 * scale, f"the signal misses its slice's times by {worst} ({scale} is one percent)")
    check(unshifted > 0.05 * scale, f"the slices' times change nothing: {unshifted}")


def region_betas(data, design, inside):
    """Least squares betas of the design's predictors at the voxels inside, with
    an intercept and the cosine drifts of a 128 s high-pass."""
    n = data.shape[3]
    t = np.arange(n)
    cosines = [np.sqrt(2 / n) * np.cos(np.pi * k * (t + 0.5) / n) for k in range(1, int(2 * n * TR / 128) + 1)]
    x = np.column_stack([design, np.ones(n), *cosines])
    b, *_ = np.linalg.lstsq(x, data[inside].T, rcond=None)
    return b[:design.shape[1]].T


def check_correction(folder):
    """Betas of slice-timing-corrected data against those of the data as
    acquired, both against the truth's effects in the data's units."""
    func = os.path.join(folder, "bids", "sub-1", "func")
    stem = "sub-1_task-WholeBrain"
    timing = np.array(json.load(open(os.path.join(func, stem + "_bold.json"), encoding="utf-8"))["SliceTiming"])
    data = image(os.path.join(func, stem + "_bold.nii"))
    header, rows = read_tsv(os.path.join(folder, "bids", "derivatives", "cohortix", "sub-1", "func",
                                         stem + "_desc-design_timeseries.tsv"))
    design = np.array(rows, dtype=np.float64)
    native = os.path.join(folder, "native", "S1_G1_WholeBrain")
    truth = json.load(open(native + "_truth.json", encoding="utf-8"))
    check(header == truth["Cells"], f"design columns {header}, truth cells {truth['Cells']}")
    inside = image(native + "_truth_regions.nii") > 0
    expected = image(native + "_truth_effects.nii")[inside] * truth["OnePercent"]
    starts = np.arange(data.shape[3]) * TR
    corrected = np.empty_like(data)
    for k, offset in enumerate(timing):
        corrected[:, :, k] = interpolate.CubicSpline(starts + offset, data[:, :, k], axis=-1)(starts)
    errors = {name: np.sqrt(((region_betas(values, design, inside) - expected) ** 2).mean())
              for name, values in (("uncorrected", data), ("corrected", corrected))}
    print(f"first-level betas against the truth's effects, RMS: {errors['uncorrected']:.4f} uncorrected, "
          f"{errors['corrected']:.4f} corrected ({truth['OnePercent']} is one percent)")
    check(errors["corrected"] < 0.5 * errors["uncorrected"], f"slice-timing correction does not help: {errors}")


def validate(bids):
    issues = bids_validator_issues(bids)
    check(not issues, f"the validator on {bids}: {issues}")

def profile(folder, text):
    path = os.path.join(folder, "profile.toml")
    open(path, "w", encoding="utf-8").write(text)
    return path


def check_profiles():
    """The scanner's description in a profile file: the bundled moving one gives a
    validator-clean dataset whose head moves and whose slices are timed; what the
    study cannot take is refused at the profile's line, before anything is written."""
    bundled = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "examples", "noise", "3T-TR2-3mm-moving.toml")
    moving, _ = run("moving", "--anatomy", "--noise", bundled)
    func = os.path.join(moving, "bids", "sub-1", "func")
    sidecar = json.load(open(os.path.join(func, "sub-1_task-WholeBrain_bold.json"), encoding="utf-8"))
    slices = nib.load(os.path.join(func, "sub-1_task-WholeBrain_bold.nii")).shape[2]
    check_slice_timing(np.array(sidecar["SliceTiming"]), slices)
    _, motion = read_tsv(os.path.join(moving, "native", "S1_G1_WholeBrain_truth_motion.tsv"))
    check(any(value not in ("0", "n/a") and float(value) != 0 for row in motion for value in row),
          "the bundled profile's head does not move")
    validate(os.path.join(moving, "bids"))
    folder = fresh_folder("profiles")
    cases = [  # the profile, the options, its refusal
        ("[slices]\norder = \"ascending\"\nmultiband = 3\n", ["--anatomy"],
         f"profile.toml:3: expected a multiband factor that divides the volume's {slices} slices, found 3"),
        ("[slices]\norder = \"ascending\"\nacquisition_s = 2.5\n", ["--anatomy"],
         "profile.toml:3: expected an acquisition time within the TR of 2 s, found 2.5 s"),
        ("[noise]\nlevel = 1\n\n[motion]\npreset = \"high\"\n", [],
         "profile.toml:4: expected a run with --anatomy for [motion]"),
        ("[slices]\norder = \"spiral\"\n", ["--anatomy"],
         "profile.toml:2: expected one of \"ascending\", \"descending\", \"interleaved\" or a list of slices "
         "for slices.order, found the text \"spiral\""),
    ]
    for text, options, message in cases:
        path = profile(folder, text)
        name = f"refused-{cases.index((text, options, message))}"
        refused, done = run(name, "--noise", path, *options, status=5)
        check(message in done.stderr and not os.path.exists(os.path.join(refused, "native")),
              f"{text!r}: {done.stderr}")
    # The options take the profile's place: its multiband of 3 gives way to 2.
    path = profile(folder, "[slices]\norder = \"ascending\"\nmultiband = 3\n")
    _, done = run("overridden", "--anatomy", "--noise", path, "--multiband", "2", "--slice-order", "interleaved",
                  status=0 if slices % 2 == 0 else 5)


def main():
    timed, _ = run("timed", "--anatomy", "--slice-order", "interleaved")
    check_signal(timed)
    check_correction(timed)
    validate(os.path.join(timed, "bids"))
    multiband, _ = run("multiband", "--anatomy", "--slice-order", "interleaved", "--multiband", "2")
    check_signal(multiband, 2)
    validate(os.path.join(multiband, "bids"))
    refused, done = run("refused", "--slice-order", "ascending", status=2)
    check("--anatomy" in done.stderr and not os.path.exists(os.path.join(refused, "native")), done.stderr)
    check_profiles()
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)


main()
