"""`cohortix run` of examples/block-design.cxd, `cohortix analyze`, then `cohortix
score` of the group maps against a label map built here from the control file's
regions: both regions are found, and every count, rate and the ROC area equal
what numpy and scipy compute from the same two images. The table and the JSON
agree and number regions from 1. Without --threshold a map is scored at its
sidecar's threshold (a thresholded map as it stands); a map with none is scored by
its ROC alone, with a line saying so. A threshold not above 0, a map on another
grid, a 4-D truth without a chosen volume and a folder without subjects are
refused with a message."""
import json
import os
import re
import subprocess
import sys

import nibabel as nib
import numpy as np
import scipy.stats

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix

COHORTIX = os.environ["COHORTIX"]


def cohortix(*arguments, status=0):
    result = subprocess.run([COHORTIX, *arguments], capture_output=True, text=True)
    assert result.returncode == status, (arguments, result.returncode, result.stderr)
    return result


def label_map(control_file, like):
    """Region r as r + 1: the voxels within its radius of its Talairach centre."""
    text = open(control_file).read()
    centres = [tuple(map(int, m)) for m in re.findall(r"Center:\s*(-?\d+)\s+(-?\d+)\s+(-?\d+)", text)]
    radii = [float(r) for r in re.findall(r"Radius:\s*([-\d.]+)", text)]
    to_voxel = np.linalg.inv(like.affine)
    i, j, k = np.indices(like.shape[:3])
    labels = np.zeros(like.shape[:3], dtype=np.int16)
    for region, (centre, radius) in enumerate(zip(centres, radii)):
        voxel = np.floor((to_voxel @ np.array([*centre, 1.0]))[:3] + 0.5)
        inside = (i - voxel[0]) ** 2 + (j - voxel[1]) ** 2 + (k - voxel[2]) ** 2 <= radius ** 2
        labels[inside & (labels == 0)] = region + 1
    return labels


def table(text):
    rows = [line.split("\t") for line in text.split("\n")[1:-1]]
    return dict(rows)


def expected_score(values, labels, threshold):
    detected = np.abs(values) >= threshold if threshold is not None else values != 0
    effect = labels > 0
    tp, fp = int(np.sum(detected & effect)), int(np.sum(detected & ~effect))
    fn, tn = int(np.sum(~detected & effect)), int(np.sum(~detected & ~effect))
    u = scipy.stats.mannwhitneyu(np.abs(values[effect]), np.abs(values[~effect])).statistic
    return {"true_positives": tp, "false_positives": fp, "false_negatives": fn,
            "true_negatives": tn, "sensitivity": tp / (tp + fn), "specificity": tn / (tn + fp),
            "false_discovery_proportion": fp / (tp + fp) if tp + fp else 0.0,
            "dice": 2 * tp / (2 * tp + fp + fn), "auc": u / (effect.sum() * (~effect).sum()),
            "regions": [int(np.sum(detected & (labels == r))) for r in (1, 2)]}


def check_score(map_path, labels_path, threshold):
    arguments = ["score", map_path, "--truth", labels_path]
    if threshold is not None:
        arguments += ["--threshold", repr(threshold)]
    scored = table(cohortix(*arguments).stdout)
    as_json = json.loads(cohortix(*arguments, "--json").stdout)
    values = np.asarray(nib.load(map_path).dataobj, dtype=np.float64)
    labels = np.asarray(nib.load(labels_path).dataobj)
    expected = expected_score(values, labels, threshold)
    for name, value in expected.items():
        if name == "regions":
            assert [int(scored[f"region_{r}_detected_voxels"]) for r in (1, 2)] == value, (scored, value)
            assert [r["detected_voxels"] for r in as_json["regions"]] == value, as_json["regions"]
            assert [r["region"] for r in as_json["regions"]] == [1, 2], as_json["regions"]
            continue
        assert abs(float(scored[name]) - value) < 1e-9, (map_path, name, scored[name], value)
        assert abs(as_json[name] - value) < 1e-9, (map_path, name, as_json[name], value)
    return scored


def main():
    run = fresh_folder("run")
    assert run_cohortix(example("block-design"), "-o", run).returncode == 0
    # Four subjects leave 3 degrees of freedom: no corrected threshold finds much.
    cohortix("analyze", run, "--correction", "none", "--alpha", "0.001")
    group = os.path.join(run, "analysis", "group")
    t_map = os.path.join(group, "all_con1-Faces-Houses_t.nii.gz")
    labels_path = os.path.join(run, "labels.nii.gz")
    image = nib.load(t_map)
    nib.save(nib.Nifti1Image(label_map(example("block-design"), image), image.affine), labels_path)

    threshold = json.load(open(os.path.join(group, "all_con1-Faces-Houses_t.json")))["Threshold"]
    assert threshold["Correction"] == "none" and threshold["Alpha"] == 0.001, threshold
    thresholded = check_score(t_map.replace("_t.", "_thresholded."), labels_path, None)
    by_value = check_score(t_map, labels_path, threshold["T"])
    for name in ("true_positives", "false_positives"):
        assert thresholded[name] == by_value[name], (name, thresholded[name], by_value[name])
    # Recovered: both regions, few false positives, voxels ranked well.
    assert thresholded["region_1_detected"] == thresholded["region_2_detected"] == "yes", thresholded
    assert float(thresholded["specificity"]) > 0.99, thresholded
    assert float(by_value["auc"]) > 0.9, by_value
    # Without --threshold: the sidecar's; a map with none is scored by its ROC alone.
    assert table(cohortix("score", t_map, "--truth", labels_path).stdout) == by_value
    bare = os.path.join(run, "bare_t.nii.gz")
    nib.save(image, bare)
    done = cohortix("score", bare, "--truth", labels_path)
    assert "has no threshold" in done.stderr and "ROC curve and its area only" in done.stderr, done.stderr
    unscored = table(done.stdout)
    assert unscored["threshold"] == "none" and unscored["auc"] == by_value["auc"], unscored
    assert all(unscored[name] == "n/a" for name in ("true_positives", "sensitivity", "dice",
                                                    "region_1_detected")), unscored
    assert json.loads(cohortix("score", bare, "--truth", labels_path, "--json").stdout)["sensitivity"] is None
    refused = cohortix("score", t_map, "--truth", labels_path, "--threshold", "-3", status=1).stderr
    assert "must be above 0" in refused, refused

    roc = os.path.join(run, "roc.tsv")
    cohortix("score", t_map, "--truth", labels_path, "--roc", roc)
    points = np.array([[float(v) for v in line.split("\t")] for line in open(roc).read().split("\n")[1:-1]])
    assert points[0, 1:].tolist() == [0, 0] and points[-1, 1:].tolist() == [1, 1], points[[0, -1]]

    # Refusals, each with the one message that says why.
    other = os.path.join(run, "other-grid.nii.gz")
    nib.save(nib.Nifti1Image(np.zeros((30, 30, 29), np.float32), image.affine), other)
    refused = cohortix("score", t_map, "--truth", other, status=1).stderr
    assert "lie on different grids" in refused, refused
    stack = os.path.join(run, "stack.nii.gz")
    nib.save(nib.Nifti1Image(np.zeros((30, 30, 30, 3), np.float32), image.affine), stack)
    refused = cohortix("score", t_map, "--truth", stack, status=1).stderr
    assert "holds 3 volumes; choose one with --cell or --contrast" in refused, refused
    cohortix("score", t_map, "--truth", stack, "--cell", "2")
    refused = cohortix("analyze", fresh_folder("empty"), status=1).stderr
    assert "holds no subject's volume time course" in refused, refused


if __name__ == "__main__":
    main()
