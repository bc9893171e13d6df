"""`cohortix analyze --motion-regressors`: head motion left in the data inflates
the first level's false positives, as `score` counts them outside the truth's
regions, against the same study without motion; the run's true six parameters
as nuisance regressors bring them back down. The first level with them is
least squares with the design statsmodels fits from the run's own tables (the
predictors, the intercept, the cosine drifts, the centred parameters): its betas,
t and degrees of freedom. A realignment's table found by a {subject} pattern is
taken as well, and tables of the wrong shape are refused at their line."""
import json
import os
import subprocess
import sys

import nibabel as nib
import numpy as np
import statsmodels.api as sm
from scipy import stats

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import Vtc, example, fresh_folder, read_rtc, read_tsv, run_cohortix  # noqa: E402

SUBJECTS_PER_GROUP = 3
P_THRESHOLD = 0.001
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def cohortix(*arguments):
    return subprocess.run([os.environ["COHORTIX"], *arguments], capture_output=True, text=True)


def small_brain():
    """The whole-brain example with few subjects and trials, on 4 mm voxels."""
    text = open(example("full-brain"), encoding="utf-8").read()
    for old, new in (("SubjectsPerGroup: 10", f"SubjectsPerGroup: {SUBJECTS_PER_GROUP}"),
                     ("TrialsPerCondition: 6", "TrialsPerCondition: 2"),
                     ("BoxY: 60 180", "BoxY: 40 180"), ("Resolution: 3", "Resolution: 4")):
        assert old in text, old
        text = text.replace(old, new)
    return text


def run(name, *options):
    folder = fresh_folder(name)
    control = os.path.join(folder, "study.cxd")
    open(control, "w", encoding="utf-8").write(small_brain())
    native = os.path.join(folder, "native")
    done = run_cohortix(control, "-o", native, "--anatomy", *options)
    check(done.returncode == 0, f"run {name}: status {done.returncode}, {done.stderr}")
    return native


def analyze(native, name, *options):
    output = os.path.join(os.path.dirname(native), name)
    done = cohortix("analyze", native, "-o", output, "--correction", "none", *options)
    check(done.returncode == 0, f"analyze {name}: status {done.returncode}, {done.stderr}")
    return output


def false_positive_rate(analysis):
    """Over every subject's first-level t maps and cells, the share of voxels
    outside the regions that `score` calls detected at P_THRESHOLD, two-sided."""
    subjects = [row["subject"] for row in subject_rows(analysis)]
    truth = os.path.join(analysis, "truth_regions.nii.gz")
    positives = negatives = 0
    for subject in subjects:
        t_map = os.path.join(analysis, "first-level", subject + "_t.nii.gz")
        df = json.load(open(t_map.replace(".nii.gz", ".json")))["ResidualDegreesOfFreedom"]
        threshold = stats.t.isf(P_THRESHOLD / 2, df)
        for cell in range(1, nib.load(t_map).shape[3] + 1):
            done = cohortix("score", t_map, "--truth", truth, "--cell", str(cell), "--threshold", str(threshold),
                            "--json")
            check(done.returncode == 0, f"score {t_map}: {done.stderr}")
            score = json.loads(done.stdout)
            positives += score["false_positives"]
            negatives += score["true_negatives"]
    return positives, positives + negatives


def subject_rows(analysis):
    header, rows = read_tsv(os.path.join(analysis, "subjects.tsv"))
    return [dict(zip(header, row)) for row in rows]


def check_against_statsmodels(native, analysis, subject):
    """One voxel of the subject, where motion moves the signal most: the design
    built here from the run's tables, fitted by statsmodels, against the
    analysis's betas in percent, t and degrees of freedom."""
    vtc = Vtc(os.path.join(native, subject + ".vtc"))
    data = vtc.as_nifti_order().astype(np.float64)
    _, predictors = read_rtc(os.path.join(native, subject + ".rtc"))
    header, rows = read_tsv(os.path.join(native, subject + "_truth_motion.tsv"))
    motion = np.array([[float(v) for v in row[:6]] for row in rows])
    n = data.shape[3]
    drifts = int(np.floor(2 * n * vtc.tr / 128))
    t = np.arange(n)
    cosines = np.stack([np.sqrt(2 / n) * np.cos(np.pi * k * (t + 0.5) / n) for k in range(1, drifts + 1)], 1)
    design = np.hstack([predictors, np.ones((n, 1)), cosines, motion - motion.mean(0)])
    cells = predictors.shape[1]
    voxel = np.unravel_index(np.argmax(np.abs(np.diff(data, axis=3)).mean(3)), data.shape[:3])
    fitted = sm.OLS(data[voxel], design).fit()
    row = next(r for r in subject_rows(analysis) if r["subject"] == subject)
    baseline = float(row["baseline"])
    betas = nib.load(os.path.join(analysis, "first-level", subject + "_beta.nii.gz")).get_fdata()[voxel]
    ts = nib.load(os.path.join(analysis, "first-level", subject + "_t.nii.gz")).get_fdata()[voxel]
    check(int(row["residual_df"]) == int(fitted.df_resid) == n - cells - 1 - drifts - 6,
          f"degrees of freedom {row['residual_df']}, statsmodels {fitted.df_resid}")
    # Single precision: the data's own rounding, a millionth of the baseline.
    check(np.allclose(betas, 100 * fitted.params[:cells] / baseline, rtol=1e-4, atol=1e-4),
          f"betas {betas}, statsmodels {100 * fitted.params[:cells] / baseline}")
    check(np.allclose(ts, fitted.tvalues[:cells], rtol=1e-4, atol=1e-3), f"t {ts}, statsmodels {fitted.tvalues[:cells]}")
    return motion


def write_realignment(native, folder):
    """Each subject's parameters as a realignment tool might give them: no header,
    spaces, rotations first and in degrees (the same columns' span)."""
    os.makedirs(folder)
    for name in sorted(os.listdir(native)):
        if name.endswith("_truth_motion.tsv"):
            _, rows = read_tsv(os.path.join(native, name))
            motion = np.array([[float(v) for v in row[:6]] for row in rows])
            table = np.hstack([np.degrees(motion[:, 3:]), motion[:, :3]])
            np.savetxt(os.path.join(folder, name.replace("_truth_motion.tsv", ".par")), table, fmt="%.9e")


def check_refusals(moving, still, folder):
    """Tables of the wrong shape refused at their line, status 1; a run without
    motion truth, status 1; a value that is neither, status 2."""
    first = os.path.join(folder, "S1_G1_WholeBrain.par")
    good = open(first).read().split("\n")
    cases = (("\n".join(good[:-2]) + "\n", ":108: expected 108 rows (one per volume), found 107"),
             ("\n".join(good[:3] + ["0 0 0 0 0"] + good[4:]), ":4: expected 6 columns, found 5"),
             ("\n".join(good[:5] + ["0 0 0 0 x 0"] + good[6:]), ':6: expected a number in column 5, found "x"'),
             ("\n".join(good[:-1] + ["0 0 0 0 0 0", ""]), ":109: expected the end of the table after 108 rows"))
    for text, message in cases:
        open(first, "w").write(text)
        done = cohortix("analyze", moving, "-o", os.path.join(folder, "refused"), "--motion-regressors",
                        os.path.join(folder, "{subject}.par"))
        check(done.returncode == 1 and first + message in done.stderr, f"{message}: {done.returncode} {done.stderr}")
    open(first, "w").write("\n".join(good))
    done = cohortix("analyze", still, "-o", os.path.join(folder, "refused"), "--motion-regressors")
    check(done.returncode == 1 and "holds no motion truth" in done.stderr, f"no truth: {done.returncode} {done.stderr}")
    done = cohortix("analyze", moving, "-o", os.path.join(folder, "refused"), "--motion-regressors", "realign.par")
    check(done.returncode == 2 and "{subject}" in done.stderr, f"no pattern: {done.returncode} {done.stderr}")
    check(not os.path.exists(os.path.join(folder, "refused", "analysis.json")), "a refused analysis left maps")


def main():
    still = run("still")
    moving = run("moving", "--motion", "high", "--seed", "5", "--truth")
    analyses = {"still": analyze(still, "analysis-still"), "moving": analyze(moving, "analysis-moving"),
                "regressed": analyze(moving, "analysis-regressed", "--motion-regressors")}
    rates = {name: false_positive_rate(analysis) for name, analysis in analyses.items()}
    for name, (positives, voxels) in rates.items():
        print(f"{name}: {positives} of {voxels} first-level voxel tests outside the regions significant at "
              f"p < {P_THRESHOLD} ({positives / voxels:.5f})")
    rate = {name: positives / voxels for name, (positives, voxels) in rates.items()}
    # Neighbouring voxels share their noise and their motion, so the counts vary
    # far more than binomially: the margins are wide against the factors seen (27
    # and 7 at this seed).
    check(rate["moving"] > 5 * rate["still"], f"motion does not inflate the false positives: {rate}")
    check(rate["regressed"] < rate["moving"] / 3, f"the regressors do not bring them down: {rate}")

    regressed = analyses["regressed"]
    record = json.load(open(os.path.join(regressed, "analysis.json")))
    plain = json.load(open(os.path.join(analyses["moving"], "analysis.json")))
    check(record.get("MotionRegressors") == "truth" and "MotionRegressors" not in plain, "analysis.json's record")
    check(record["Effects"] == plain["Effects"], "the regressors changed the effects tested")
    for row, plain_row in zip(subject_rows(regressed), subject_rows(analyses["moving"])):
        check(int(row["residual_df"]) == int(plain_row["residual_df"]) - 6, f"df {row} against {plain_row}")
    check_against_statsmodels(moving, regressed, "S2_G1_WholeBrain")

    folder = os.path.join(os.path.dirname(moving), "realign")
    write_realignment(moving, folder)
    from_files = analyze(moving, "analysis-files", "--motion-regressors", os.path.join(folder, "{subject}.par"))
    for subject in ("S1_G1_WholeBrain", "S6_G2_WholeBrain"):
        found, truth = (nib.load(os.path.join(a, "first-level", subject + "_beta.nii.gz")).get_fdata()
                        for a in (from_files, regressed))
        check(np.allclose(found, truth, rtol=1e-3, atol=1e-3),
              f"{subject}: a realignment's table of the same motion gives other betas, by {np.abs(found - truth).max()}")
    check_refusals(moving, still, folder)

    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)


main()
