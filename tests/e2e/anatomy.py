"""`cohortix run --anatomy`: a whole-brain study recomposed on the Colin27 template.
The data show a brain (a threshold of the mean volume finds the truth's brain
mask, Dice at least 0.95); the truth says exactly what was added (the truth's
baseline plus its effects times the predictors is, value for value, the same
study run without noise, and the rest of the data is the plug-in's noise); grey
matter holds the signal; every subject gets a T1w in the dataset, which passes
the BIDS validator; the anatomy derived once and read back from the cache makes
the same bytes; the report draws its slices over the subject's anatomy (bright
inside the truth's brain mask, darker outside); with --anatomy-variation each
subject's T1w, moved back with the affine its truth gives, is the template again;
a user's whole-head image has its brain extracted;
an anatomy that is missing is refused before anything is written."""
import base64
import re
import glob
import json
import os
import subprocess
import sys

import nibabel as nib
import numpy as np
from scipy import ndimage

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "e2e", "report_support"))
from native_files import Vtc, bids_validator_issues, example, fresh_folder, read_rtc, run_cohortix, small_whole_brain  # noqa: E402,E501
from png_pixels import decode  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(folder, design, *options, status=0):
    os.makedirs(folder, exist_ok=True)
    control = os.path.join(folder, "study.cxd")
    open(control, "w", encoding="utf-8").write(design)
    done = run_cohortix(control, "-o", os.path.join(folder, "native"), *options)
    check(done.returncode == status, f"{folder}: status {done.returncode}, {done.stderr}")
    return done


def image(path):
    """A NIfTI image, written plain or compressed."""
    found = path if os.path.exists(path) else path + ".gz"
    return np.asanyarray(nib.load(found).dataobj).astype(np.float64)


def dice(a, b):
    return 2.0 * np.logical_and(a, b).sum() / (a.sum() + b.sum())


def check_truth_and_brain(noisy, quiet):
    mask = image(os.path.join(noisy, "native", "WholeBrain_truth_brain_mask.nii")) > 0
    tissue = image(os.path.join(noisy, "native", "WholeBrain_truth_tissue.nii"))
    for vtc_path in sorted(glob.glob(os.path.join(noisy, "native", "*.vtc"))):
        stem = os.path.basename(vtc_path)[:-4]
        data = Vtc(vtc_path).as_nifti_order().astype(np.float64)
        twin = Vtc(os.path.join(quiet, "native", stem + ".vtc")).as_nifti_order().astype(np.float64)
        truth = json.load(open(os.path.join(noisy, "native", stem + "_truth.json")))
        baseline = image(os.path.join(noisy, "native", stem + "_truth_baseline.nii"))
        effects = image(os.path.join(noisy, "native", stem + "_truth_effects.nii"))
        _, predictors = read_rtc(os.path.join(noisy, "native", stem + ".rtc"))
        predicted = baseline[..., None] + truth["OnePercent"] * np.einsum("xyzp,tp->xyzt", effects, predictors)
        scale = np.abs(twin).max()
        check(np.abs(predicted - twin).max() <= 1e-5 * scale,
              f"{stem}: baseline and signal of the truth miss the noise-free data by "
              f"{np.abs(predicted - twin).max()}")
        noise = data - predicted
        check(np.abs(noise - (data - twin)).max() <= 1e-5 * scale, f"{stem}: the rest is not the plug-in's noise")
        check(abs(noise.std() / truth["NoiseSD"] - 1) < 0.01, f"{stem}: noise SD {noise.std()}, the plug-in's {truth['NoiseSD']}")
        mean = data.mean(axis=3)
        found = mean > 0.5 * mean[mask].mean()
        check(dice(found, mask) >= 0.95, f"{stem}: Dice of the thresholded mean and the brain mask {dice(found, mask):.3f}")
        # The signal is where the grey matter is: each region's effects times the
        # voxel's grey-matter fraction.
        labels = image(os.path.join(noisy, "native", stem + "_truth_regions.nii"))
        grey = tissue[..., 0]
        for r, region in enumerate(truth["Regions"]):
            inside = labels == r + 1
            received = np.array([e["Received"] for e in region["Effects"]])
            expected = grey[inside][:, None] * received[None, :]
            check(inside.any() and np.allclose(effects[inside], expected, rtol=1e-5, atol=1e-6),
                  f"{stem}: region {r + 1}'s effects are not its received effects times grey matter")


def check_dataset(bids):
    subjects = sorted(glob.glob(os.path.join(bids, "sub-*")))
    check(len(subjects) == 2, f"subjects {subjects}")
    for subject in subjects:
        label = os.path.basename(subject)
        t1w = os.path.join(subject, "anat", label + "_T1w.nii.gz")
        check(os.path.isfile(t1w), f"no {t1w}")
        if os.path.isfile(t1w):
            t1 = nib.load(t1w)
            check(np.allclose(np.abs(t1.affine[:3, :3]).sum(axis=0), 1), f"{t1w}: not 1 mm: {t1.affine}")
    validate(bids)


def validate(bids):
    issues = bids_validator_issues(bids)
    check(not issues, f"the validator on {bids}: {issues}")

def check_report_over_anatomy(report, native):
    """The truth's region slices: their grey pixels (the regions are coloured) are
    the anatomy, bright and varied in the brain, darker around it (CSF, skull)."""
    path = os.path.join(native, "WholeBrain_truth_brain_mask.nii")
    mask_image = nib.load(path if os.path.exists(path) else path + ".gz")
    mask, affine = np.asanyarray(mask_image.dataobj) > 0, mask_image.affine
    html = open(report, encoding="utf-8").read()
    figures = re.findall(r'<title>Region \d+: Axial, z = ([-0-9.]+) mm</title>.*?'
                         r'href="data:image/png;base64,([^"]*)"', html)
    check(figures, "the report has no axial region slices")
    for z, png in figures:
        j = int(round((float(z) - affine[2, 3]) / affine[2, 1]))
        pixels = decode(base64.b64decode(png))[:, :, :3].astype(np.float64)
        # Axial: row i, column DimZ - 1 - k.
        brain = mask[:, j, ::-1]
        grey = (pixels[..., 0] == pixels[..., 1]) & (pixels[..., 1] == pixels[..., 2])
        inside, outside = pixels[..., 0][grey & brain], pixels[..., 0][grey & ~brain]
        check(inside.size > 100 and outside.size > 100 and inside.mean() > 2 * outside.mean() and
              len(np.unique(inside)) > 20,
              f"axial slice at z = {z}: brain {inside.mean():.1f}, around it {outside.mean():.1f}: "
              "not drawn over the anatomy")


def transform_of(path):
    return np.array(json.load(open(path))["AnatomyTransform"]["Matrix"])


def check_variation(base, quiet):
    """Each subject's own anatomy: its T1w and its baseline, moved back with the
    affine its truth gives, are the template's again; the sidecar has the same
    affine; without the option there is none."""
    varied = os.path.join(base, "varied")
    varied_bids = os.path.join(base, "varied-bids")
    run(varied, small_whole_brain(0), "--anatomy", "--anatomy-variation", "--seed", "11", "--truth", "--bids", varied_bids)
    check(all("AnatomyTransform" in open(path).read()
              for path in glob.glob(os.path.join(varied_bids, "sub-*", "anat", "*_T1w.json"))),
          "a T1w of the dataset does not give its subject's affine")
    validate(varied_bids)
    template = nib.load(os.path.join(quiet, "native", "S1_G1_WholeBrain_T1w.nii"))
    head = np.asanyarray(template.dataobj).astype(np.float64)
    check("AnatomyTransform" not in open(os.path.join(quiet, "native", "S1_G1_WholeBrain_T1w.json")).read() and
          "AnatomyTransform" not in open(os.path.join(quiet, "native", "S1_G1_WholeBrain_truth.json")).read(),
          "a run without --anatomy-variation names a transform")
    matrices = []
    for stem in ("S1_G1_WholeBrain", "S2_G2_WholeBrain"):
        native = os.path.join(varied, "native")
        matrix = transform_of(os.path.join(native, stem + "_truth.json"))
        matrices.append(matrix)
        check(np.array_equal(matrix, transform_of(os.path.join(native, stem + "_T1w.json"))),
              f"{stem}: the T1w's sidecar and the truth give other affines")
        own = nib.load(os.path.join(native, stem + "_T1w.nii"))
        moved = np.asanyarray(own.dataobj).astype(np.float64)
        # Template voxel o holds what the subject's image has at A^-1 M A o.
        back = np.linalg.inv(own.affine) @ matrix @ template.affine
        registered = ndimage.affine_transform(moved, back[:3, :3], back[:3, 3], order=1)
        head_voxels = ndimage.binary_erosion(head > 0.2 * head.max(), iterations=8)
        error = np.abs(registered - head)[head_voxels].mean() / head[head_voxels].mean()
        unregistered = np.abs(moved - head)[head_voxels].mean() / head[head_voxels].mean()
        check(error < 0.03 and unregistered > 3 * error,
              f"{stem}: its T1w moved back differs from the template by {error:.3f} of its mean "
              f"(unmoved {unregistered:.3f})")
        # The truth says what the data hold (no noise here): its baseline plus its
        # effects, on the subject's own grey matter, times the predictors.
        data = Vtc(os.path.join(native, stem + ".vtc")).as_nifti_order().astype(np.float64)
        truth = json.load(open(os.path.join(native, stem + "_truth.json")))
        effects = image(os.path.join(native, stem + "_truth_effects.nii"))
        _, predictors = read_rtc(os.path.join(native, stem + ".rtc"))
        predicted = (image(os.path.join(native, stem + "_truth_baseline.nii"))[..., None] +
                     truth["OnePercent"] * np.einsum("xyzp,tp->xyzt", effects, predictors))
        check(np.abs(predicted - data).max() <= 1e-5 * np.abs(data).max(),
              f"{stem}: the truth of its own anatomy misses its data by {np.abs(predicted - data).max()}")
        # The functional baseline moved with it: back on the template's, it matches.
        baseline = nib.load(os.path.join(native, stem + "_truth_baseline.nii"))
        plain = image(os.path.join(quiet, "native", stem + "_truth_baseline.nii"))
        back = np.linalg.inv(baseline.affine) @ matrix @ baseline.affine
        registered = ndimage.affine_transform(np.asanyarray(baseline.dataobj).astype(np.float64), back[:3, :3],
                                              back[:3, 3], order=1)
        brain = image(os.path.join(quiet, "native", "WholeBrain_truth_brain_mask.nii")) > 0
        inner = ndimage.binary_erosion(brain, iterations=2)
        r = np.corrcoef(registered[inner], plain[inner])[0, 1]
        r_unmoved = np.corrcoef(np.asanyarray(baseline.dataobj)[inner], plain[inner])[0, 1]
        check(r > 0.9 and r > r_unmoved + 0.1, f"{stem}: baseline moved back correlates {r:.3f} "
              f"with the template's ({r_unmoved:.3f} unmoved)")
    check(not np.array_equal(matrices[0], matrices[1]), "two subjects drew the same anatomy")


def check_own_head(base, quiet):
    """A user's own image: the brain alone is taken as it is (the template's brain
    mask, voxel for voxel); a whole head has its brain extracted, which finds the
    template's own extraction (Dice at least 0.9 on the VTC grid), or, with its
    mask, is the brain the mask covers."""
    templates = "/usr/share/mricron/templates"
    expected = image(os.path.join(quiet, "native", "WholeBrain_truth_brain_mask.nii")) > 0
    for name, mask, least in (("ch2bet", [], 1.0), ("ch2", [], 0.9),
                              ("ch2", ["--anatomy-mask", os.path.join(templates, "ch2bet.nii.gz")], 1.0)):
        folder = os.path.join(base, "own-" + name + str(len(mask)))
        run(folder, small_whole_brain(0), "--anatomy", os.path.join(templates, name + ".nii.gz"), *mask, "--truth")
        found = image(os.path.join(folder, "native", "WholeBrain_truth_brain_mask.nii")) > 0
        check(dice(found, expected) >= least, f"--anatomy {name} {mask}: brain mask Dice {dice(found, expected):.3f}")
    # A mask on another grid than the image's: refused before anything is written.
    folder = os.path.join(base, "own-misfit")
    refused = run(folder, small_whole_brain(0), "--anatomy", os.path.join(templates, "ch2.nii.gz"), "--anatomy-mask",
                  os.path.join(templates, "ch2better.nii.gz"), status=5)
    check("is not on the grid of the anatomy" in refused.stderr and
          not os.path.exists(os.path.join(folder, "native")), refused.stderr)


def main():
    base = fresh_folder("anatomy")
    os.environ["XDG_CACHE_HOME"] = os.path.join(base, "cache")
    noisy, quiet = os.path.join(base, "noisy"), os.path.join(base, "quiet")
    bids = os.path.join(base, "bids")
    run(quiet, small_whole_brain(0), "--anatomy", "--truth")
    cache = glob.glob(os.path.join(base, "cache", "cohortix", "anatomy", "*.nii"))
    check(len(cache) == 1, f"the anatomy's cache: {cache}")
    report = os.path.join(base, "report.html")
    run(noisy, small_whole_brain(1.5), "--anatomy", "--truth", "--bids", bids, "--gzip", "--report", report)
    check(os.path.isfile(report) and "In the anatomy, subject S1_G1_WholeBrain's centre: AAL Precentral_R"
          in open(report, encoding="utf-8").read(), "the report does not name region 2 by atlas")
    if os.path.isfile(report):
        check_report_over_anatomy(report, os.path.join(noisy, "native"))
    again = os.path.join(base, "again")
    run(again, small_whole_brain(0), "--anatomy")
    for name in ("S1_G1_WholeBrain.vtc", "S2_G2_WholeBrain.vtc"):
        check(open(os.path.join(quiet, "native", name), "rb").read() ==
              open(os.path.join(again, "native", name), "rb").read(),
              f"{name}: the cached anatomy made other bytes than the derived one")
    check_truth_and_brain(noisy, quiet)
    check_dataset(bids)
    check_variation(base, quiet)
    check_own_head(base, quiet)
    # The host's noise in place of the plug-in's, on the anatomy: what is left after
    # the truth's baseline and signal is the profile's white system noise alone,
    # the same everywhere (as thermal noise is), 1 % of the brain's signal (the
    # voxels that hold signal, partial-volume edges among them), and none of the
    # plug-in's.
    hosted = os.path.join(base, "hosted")
    profile = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "examples", "noise", "white-1percent.toml")
    run(hosted, small_whole_brain(1.5), "--anatomy", "--truth", "--noise", profile)
    stem = "S1_G1_WholeBrain"
    data = Vtc(os.path.join(hosted, "native", stem + ".vtc")).as_nifti_order().astype(np.float64)
    twin = Vtc(os.path.join(quiet, "native", stem + ".vtc")).as_nifti_order().astype(np.float64)
    baseline = image(os.path.join(hosted, "native", stem + "_truth_baseline.nii"))
    brain = image(os.path.join(hosted, "native", "WholeBrain_truth_brain_mask.nii")) > 0
    inside, outside = (data - twin)[brain], (data - twin)[~brain]
    check(abs(inside.std() / outside.std() - 1) < 0.02, f"system noise SD {inside.std()} in the brain, {outside.std()} outside")
    check(abs(inside.std() / (0.01 * baseline[brain].mean()) - 1) < 0.06,
          f"host noise on the anatomy: SD {inside.std():.3f}, 1 % of the brain's mean is {0.01 * baseline[brain].mean():.3f}")
    plugin_noise = (Vtc(os.path.join(noisy, "native", stem + ".vtc")).as_nifti_order() - twin)[brain]
    check(abs(np.corrcoef(inside.ravel(), plugin_noise.ravel())[0, 1]) < 0.01, "the plug-in's noise is still there")
    # The analysis's own mask keeps the brain and leaves the background out.
    analysis = os.path.join(base, "analysis")
    analyzed = subprocess.run([os.environ["COHORTIX"], "analyze", os.path.join(noisy, "native"), "-o", analysis],
                              capture_output=True, text=True)
    check(analyzed.returncode == 0, analyzed.stderr)
    if analyzed.returncode == 0:
        tested = image(os.path.join(analysis, "mask.nii")) > 0
        brain = image(os.path.join(noisy, "native", "WholeBrain_truth_brain_mask.nii")) > 0
        check(dice(tested, brain) >= 0.9, f"analysis mask against the brain: Dice {dice(tested, brain):.3f}")
    # A power analysis on the anatomy: the grey matter takes part of the signal,
    # and no analytic power claims otherwise.
    tables = {}
    for name, options in (("plain", []), ("anatomy", ["--anatomy"])):
        folder = os.path.join(base, "power-" + name)
        done = subprocess.run([os.environ["COHORTIX"], "power", example("faces-and-places"), "--subjects", "4",
                               "--replicates", "3", "-o", folder, "-q", *options], capture_output=True, text=True)
        check(done.returncode == 0, done.stderr)
        tables[name] = open(os.path.join(folder, "power.tsv")).read().splitlines() if done.returncode == 0 else []
    check(tables["plain"] != tables["anatomy"] and tables["anatomy"] and
          all(line.split("\t")[9] == "NA" for line in tables["anatomy"][1:]),
          "power --anatomy: the same table as without, or an analytic value")
    # Regions named by atlas; a centre off the grey matter warned of at its line.
    named = subprocess.run([os.environ["COHORTIX"], "check", "--anatomy", example("faces-and-places")],
                           capture_output=True, text=True)
    check(named.returncode == 0 and "AAL Fusiform_R" in named.stdout and
          "Harvard-Oxford Parahippocampal Gyrus, posterior division" in named.stdout, named.stdout)
    warned = subprocess.run([os.environ["COHORTIX"], "check", "--anatomy", "--strict", example("event-related")],
                            capture_output=True, text=True)
    check(warned.returncode == 1 and "event-related.cxd:42: region 2 (Talairach -30, -20, 50)'s centre "
          "lies in white matter" in warned.stderr, warned.stderr)
    # An anatomy that cannot be read: refused, nothing written.
    missing = run(os.path.join(base, "missing"), small_whole_brain(1.5), "--anatomy",
                  os.path.join(base, "no-such-brain.nii.gz"), status=5)
    check("cannot read the anatomy" in missing.stderr and
          not os.path.exists(os.path.join(base, "missing", "native")), missing.stderr)
    if failures:
        print("FAIL:\n" + "\n".join(failures), file=sys.stderr)
        sys.exit(1)
    print("the anatomy's data show a brain and the truth says what was added")


if __name__ == "__main__":
    main()
