"""`cohortix run --truth`: the truth of a noisy study predicts, voxel by voxel, the
data of the same study run without noise (whose draws are the same): every value
is F + A x sum over cells of effect x predictor. Designs with a clipped region,
two overlapping ones (the later wins), a negative radius, effects per subject and
no groups; the truth table, group means and label maps agree with the JSON; the
truth scores an analysis with `cohortix score --cell`; --bids puts the truth under
derivatives/cohortix and the dataset still passes the validator."""
import glob
import json
import os
import subprocess
import sys

import nibabel as nib
import numpy as np

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import Vtc, bids_validator_issues, fresh_folder, read_rtc, read_tsv, run_cohortix

HEADER = """Version: 1
WithinFactors: 1
BetweenFactors: {between}
Reserved: 0
Name: "{name}"
Factor: "Stimulus"
Levels: 2
Level: 255 0 0 "On"
Level: 0 0 255 "Off"
{group_factor}Balanced: Y
Rest: Y
RestVolumes: 6
SubjectsPerGroup: {subjects}
Reserved: 0
TrialVolumes: 6
TrialsPerCondition: 2
PreVolumes: 2
PostVolumes: 2
BoxZ: 90 150
BoxX: 80 170
BoxY: 60 150
Resolution: 3
HeaderCode: 1
MeanBaseline: 1000
BaselineSDSubjects: 60
BaselineSDVoxels: 25
NoisePercent: {noise}
"""

# Region 1 sits on the box's x = 0 face (clipped); 2 and 3 overlap by all but a
# voxel's shift (3 wins); 4 has a negative radius and writes nothing.
GROUPED_REGIONS = """Regions: 4
Center: 0 48 0
Center: 10 -30 20
Center: 10 -27 20
Center: -5 -5 30
Radius: 3
Radius: 2.5
Radius: 2.5
Radius: -1
CenterSD: 0.7
CenterSD: 0.7
CenterSD: 0
CenterSD: 0.7
EffectRows: G
SubjectSD: 0.8
Flag: P
Region1: 3.0 1.0
2.0 0.5
Region2: 1.0 2.5
1.5 2.0
Region3: 4.0 0.0
3.0 1.0
Region4: 1.0 1.0
1.0 1.0
"""

PER_SUBJECT_REGIONS = """Regions: 1
Center: 10 -30 20
Radius: 2
CenterSD: 0.6
EffectRows: N
Flag: P
Region1: 2.0 1.0
0.5 3.0
"""


def grouped(noise):
    factor = 'Factor: "Group"\nLevels: 2\nLevel: 0 0 0 "A"\nLevel: 0 0 0 "B"\n'
    return HEADER.format(between=1, name="Truth", group_factor=factor, subjects=2,
                         noise=noise) + GROUPED_REGIONS


def per_subject(noise):
    return HEADER.format(between=0, name="PerSubject", group_factor="", subjects=2,
                         noise=noise) + PER_SUBJECT_REGIONS


def run(folder, design, *options):
    os.makedirs(folder, exist_ok=True)
    control = os.path.join(folder, "study.cxd")
    open(control, "w").write(design)
    done = run_cohortix(control, "-o", folder, *options)
    assert done.returncode == 0, (folder, done.returncode, done.stderr)
    return done


def check_prediction(noisy, noise_free):
    """The noisy run's truth gives back every value of the noise-free run."""
    for vtc_path in sorted(glob.glob(os.path.join(noise_free, "*.vtc"))):
        stem = os.path.basename(vtc_path)[:-4]
        truth = json.load(open(os.path.join(noisy, stem + "_truth.json")))
        vtc = Vtc(vtc_path).as_nifti_order()
        names, predictors = read_rtc(os.path.join(noise_free, stem + ".rtc"))
        assert truth["Cells"] == names, (truth["Cells"], names)
        effects = np.asanyarray(nib.load(os.path.join(noisy, stem + "_truth_effects.nii")).dataobj)
        baseline = np.asanyarray(nib.load(os.path.join(noisy, stem + "_truth_baseline.nii")).dataobj)
        assert effects.shape == vtc.shape[:3] + (len(names),), effects.shape
        signal = np.einsum("xyzp,tp->xyzt", effects.astype(np.float64), predictors)
        predicted = baseline[..., None] + np.float64(truth["OnePercent"]) * signal
        error = np.abs(predicted - vtc).max()
        assert error <= 1e-5 * np.abs(vtc).max(), (stem, error)
    return truth


def region_counts(folder, stem):
    labels = nib.load(os.path.join(folder, stem + "_truth_regions.nii"))
    assert labels.header.get_data_dtype() == np.int16, labels.header.get_data_dtype()
    values = np.asanyarray(labels.dataobj)
    return [int((values == r + 1).sum()) for r in range(int(values.max()))]


def check_grouped(noisy):
    truths = {os.path.basename(p)[:-len("_truth.json")]: json.load(open(p))
              for p in sorted(glob.glob(os.path.join(noisy, "S*_truth.json")))}
    assert len(truths) == 4, truths.keys()
    table_header, rows = read_tsv(os.path.join(noisy, "Truth_truth.tsv"))
    assert len(rows) == 4 * 4 * 2, len(rows)
    for stem, truth in truths.items():
        regions = truth["Regions"]
        clipped, first, later, negative = regions
        sphere = sum(1 for x in range(-3, 4) for y in range(-3, 4) for z in range(-3, 4)
                     if x * x + y * y + z * z <= 9)
        assert 0 < clipped["VoxelsWritten"] < sphere, clipped
        assert first["VoxelsOverwritten"] > 0 and later["VoxelsOverwritten"] == 0, (first, later)
        assert negative["VoxelsWritten"] == 0, negative
        counts = region_counts(noisy, stem)
        kept = [r["VoxelsWritten"] - r["VoxelsOverwritten"] for r in regions]
        assert counts == kept[:len(counts)], (counts, kept)
        received = [e["Received"] for r in regions for e in r["Effects"]]
        table = [e["TableValue"] for r in regions for e in r["Effects"]]
        assert received != table, "SubjectSD draws left the effects as the table gives them"
        mine = [row for row in rows if row[0] == str(truth["Subject"])]
        assert [float(row[5]) for row in mine] == received, (mine, received)
    # The group means are the means of the members' effect maps.
    for g in (1, 2):
        maps = [np.asanyarray(nib.load(os.path.join(noisy, s + "_truth_effects.nii")).dataobj)
                for s, t in truths.items() if t["Group"] == g]
        mean = np.asanyarray(nib.load(os.path.join(noisy, f"Truth_G{g}_truth_effects.nii")).dataobj)
        assert np.allclose(mean, np.mean(maps, axis=0), atol=1e-6), g
        sidecar = json.load(open(os.path.join(noisy, f"Truth_G{g}_truth_effects.json")))
        assert sidecar["Volumes"] == ["On", "Off"], sidecar


def check_per_subject(noisy):
    rows = [[2.0, 1.0], [0.5, 3.0]]
    for s, row in enumerate(rows):
        truth = json.load(open(os.path.join(noisy, f"S{s + 1}_G1_PerSubject_truth.json")))
        effects = [e["Received"] for e in truth["Regions"][0]["Effects"]]
        assert effects == row, (s, effects)


def check_score(folder):
    """The truth serves `cohortix score` as it is written."""
    cohortix = os.environ["COHORTIX"]
    analyzed = subprocess.run([cohortix, "analyze", folder, "--correction", "none"],
                              capture_output=True, text=True)
    assert analyzed.returncode == 0, analyzed.stderr
    t_maps = sorted(glob.glob(os.path.join(folder, "analysis", "*", "*_t.nii*")))
    assert t_maps, os.listdir(os.path.join(folder, "analysis"))
    truth = os.path.join(folder, "S1_G1_Truth_truth_effects.nii")
    scored = subprocess.run([cohortix, "score", t_maps[0], "--truth", truth, "--cell", "1"],
                            capture_output=True, text=True)
    assert scored.returncode == 0, scored.stderr


def check_info_and_report(noisy):
    """`cohortix info` reads the truth files; `run --report` shows the truth."""
    cohortix = os.environ["COHORTIX"]
    stem = os.path.join(noisy, "S1_G1_Truth")
    info = subprocess.run([cohortix, "info", stem + "_truth.json", stem + "_truth_effects.nii",
                           stem + "_truth_regions.nii"], capture_output=True, text=True)
    assert info.returncode == 0, info.stderr
    assert "ground truth of subject 1, group 1, 4 regions" in info.stdout, info.stdout
    assert "30 x 30 x 20 voxels, 2 volumes" in info.stdout, info.stdout
    assert "percent of the subject's baseline" in info.stdout, info.stdout
    report = os.path.join(noisy, "report.html")
    assert os.path.isfile(report), "run --report wrote no report"
    assert "from the truth files" in open(report, encoding="utf-8").read(), "no truth in the report"


def check_bids(root):
    """--bids alone puts the truth under derivatives/cohortix, named as derivatives."""
    folder = os.path.join(root, "bids-run")
    bids = os.path.join(root, "bids")
    run(folder, grouped(1.5), "--bids", bids, "--gzip")
    assert not glob.glob(os.path.join(folder, "*truth*")), "native truth without --truth"
    derived = os.path.join(bids, "derivatives", "cohortix")
    func = os.path.join(derived, "sub-1", "func")
    stem = os.path.join(func, "sub-1_task-Truth_space-Talairach")
    for suffix in ("_desc-truth_summary.json", "_desc-effects_truth.nii.gz",
                   "_desc-effects_truth.json", "_desc-regions_dseg.nii.gz",
                   "_desc-regions_dseg.json", "_desc-regions_dseg.tsv",
                   "_desc-baseline_truth.nii.gz", "_desc-baseline_truth.json"):
        assert os.path.isfile(stem + suffix), stem + suffix
    assert os.path.isfile(os.path.join(derived, "task-Truth_desc-truth_table.tsv"))
    header, rows = read_tsv(stem + "_desc-regions_dseg.tsv")
    assert header == ["index", "name"] and len(rows) == 5, rows
    issues = bids_validator_issues(bids)
    assert not issues, issues
    # --no-truth: the same dataset without the truth, every other file the same bytes.
    spared = os.path.join(root, "bids-no-truth")
    run(os.path.join(root, "bids-no-truth-run"), grouped(1.5), "--bids", spared, "--gzip", "--no-truth")
    with_truth = {os.path.relpath(p, bids) for p in glob.glob(os.path.join(bids, "**"), recursive=True)
                  if os.path.isfile(p)}
    without = {os.path.relpath(p, spared) for p in glob.glob(os.path.join(spared, "**"), recursive=True)
               if os.path.isfile(p)}
    assert without == {p for p in with_truth if "truth" not in p and "dseg" not in p}, without ^ with_truth
    for name in without - {"README", "derivatives/cohortix/dataset_description.json", "code/cohortix-run.json"}:
        assert open(os.path.join(bids, name), "rb").read() == open(os.path.join(spared, name), "rb").read(), name
    refused = run_cohortix(os.path.join(folder, "study.cxd"), "--truth", "--no-truth", "-o", folder)
    assert refused.returncode == 2 and "excludes" in refused.stderr, refused.stderr


def main():
    root = fresh_folder("truth")
    noisy = os.path.join(root, "noisy")
    run(noisy, grouped(1.5), "--truth", "--report", os.path.join(noisy, "report.html"))
    noise_free = os.path.join(root, "noise-free")
    run(noise_free, grouped(0))
    assert not glob.glob(os.path.join(noise_free, "*truth*")), "truth without --truth"
    check_prediction(noisy, noise_free)
    check_grouped(noisy)
    check_score(noisy)
    check_info_and_report(noisy)
    check_bids(root)

    one_group = os.path.join(root, "per-subject")
    run(one_group, per_subject(2), "--truth")
    run(os.path.join(root, "per-subject-free"), per_subject(0))
    check_prediction(one_group, os.path.join(root, "per-subject-free"))
    check_per_subject(one_group)
    print("the truth of a noisy run predicts its noise-free twin exactly")


if __name__ == "__main__":
    main()
