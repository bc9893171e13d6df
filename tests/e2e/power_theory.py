"""`cohortix power` against theory, on a small region-of-interest study whose
region does not move between subjects and whose subjects draw their effects
around one group value:

- the power of the region-mean one-sample test equals the noncentral t's
  (computed here with scipy from the design matrix of a subject simulated by
  `cohortix run`, the effect, the subjects' SD and the noise) within the
  Monte-Carlo error, at alpha 0.05 and 0.001, and the analytic column agrees
  with scipy's value;
- with every effect 0 the region-mean test rejects at rate alpha, uncorrected maps
  call alpha of the voxels outside the region significant, and Bonferroni keeps
  the family-wise rate at or below alpha (all within their intervals);
- the tables: power.tsv and power.json agree, the plain table is printed, and
  nothing else is left behind: no subject's file, no temporary folder."""
import json
import math
import os
import subprocess
import sys

import numpy as np
import scipy.stats

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import fresh_folder, read_rtc, read_tsv, run_cohortix

NOISE = 2.0
SUBJECT_SD = 0.5
EFFECT = 0.45
TR = 2.0
HIGHPASS = 128.0


def study(effect):
    return f"""Version: 1
WithinFactors: 1
BetweenFactors: 0
Reserved: 0
Name: "Roi"
Factor: "Stimulus"
Levels: 2
Level: 230 80 40 "Faces"
Level: 40 110 220 "Objects"
Balanced: Y
Rest: Y
RestVolumes: 3
SubjectsPerGroup: 2
Reserved: 0
TrialVolumes: 6
TrialsPerCondition: 5
PreVolumes: 10
PostVolumes: 10
BoxZ: 116 140
BoxX: 116 140
BoxY: 116 140
Resolution: 3
HeaderCode: 1
MeanBaseline: 1000
BaselineSDSubjects: 50
BaselineSDVoxels: 20
NoisePercent: {NOISE}
Regions: 1
Center: 0 0 0
Radius: 1.5
CenterSD: 0
EffectRows: G
SubjectSD: {SUBJECT_SD}
Flag: P
Region1: {effect} 0
"""


def power(control, output, *options):
    environment = dict(os.environ, TMPDIR=os.path.join(output, "tmp"))
    os.makedirs(environment["TMPDIR"])
    result = subprocess.run([os.environ["COHORTIX"], "power", control, "-o", output, *options],
                            capture_output=True, text=True, env=environment)
    assert result.returncode == 0, result.stderr
    assert os.listdir(environment["TMPDIR"]) == [], "a temporary folder was left behind"
    assert sorted(os.listdir(output)) == ["cohortix-run.json", "power.json", "power.tsv", "tmp"], os.listdir(output)
    assert "roi_power" in result.stdout and "estimate [95% interval]" in result.stdout
    header, rows = read_tsv(os.path.join(output, "power.tsv"))
    table = [dict(zip(header, row)) for row in rows]
    documents = json.load(open(os.path.join(output, "power.json")))
    assert len(documents) == len(table)
    for row, document in zip(table, documents):
        for key, value in row.items():
            if document[key] is None or isinstance(document[key], (int, float)):
                assert (document[key] is None and value == "NA") or document[key] == float(value), (key, row)
            else:
                assert document[key] == value, (key, row)
    return table


def row(table, subjects, effect, region, measure):
    found = [r for r in table if r["subjects"] == str(subjects) and r["scope"] == "all"
             and r["effect"] == effect and r["region"] == region and r["measure"] == measure]
    assert len(found) == 1, (subjects, effect, region, measure)
    return found[0]


def within(value, r):
    """Whether the estimate lies within its sampling error of value: a two-sided
    test at 0.001, not the table's 95% interval, since a dozen checks run here and
    at 95% a correct implementation would fail one in every two or three streams."""
    replicates, estimate = int(r["replicates"]), float(r["estimate"])
    if r["measure"] in ("roi_power", "detection", "family_wise"):
        return scipy.stats.binomtest(round(estimate * replicates), replicates, value).pvalue > 0.001
    # A mean over replicates: the table's interval is mean +- 1.96 standard errors.
    standard_error = (float(r["ci_high"]) - float(r["ci_low"])) / (2 * 1.96)
    return abs(estimate - value) <= 3.29 * standard_error


def first_level_variance(folder, control):
    """The Faces beta's sampling variance in percent^2 for the first subject."""
    result = run_cohortix(control, "-o", folder)
    assert result.returncode == 0, result.stderr
    rtc = sorted(f for f in os.listdir(folder) if f.endswith(".rtc"))[0]
    _, predictors = read_rtc(os.path.join(folder, rtc))
    n = predictors.shape[0]
    t = np.arange(n)
    drifts = [np.sqrt(2 / n) * np.cos(np.pi * k * (t + 0.5) / n)
              for k in range(1, int(2 * n * TR / HIGHPASS) + 1)]
    x = np.column_stack([predictors, np.ones(n), *drifts])
    return NOISE ** 2 * np.linalg.inv(x.T @ x)[0, 0]


def noncentral_power(subjects, alpha, within_variance):
    df = subjects - 1
    delta = EFFECT * math.sqrt(subjects) / math.sqrt(SUBJECT_SD ** 2 + within_variance)
    critical = scipy.stats.t.ppf(1 - alpha / 2, df)
    return scipy.stats.nct.sf(critical, df, delta) + scipy.stats.nct.cdf(-critical, df, delta)


def main():
    base = fresh_folder("power_theory")
    active = os.path.join(base, "active.cxd")
    silent = os.path.join(base, "silent.cxd")
    open(active, "w").write(study(EFFECT))
    open(silent, "w").write(study(0))
    # The region's sphere of radius 1.5 holds 19 voxels, all inside the box.
    within_variance = first_level_variance(fresh_folder("power_theory", "run"), active) / 19

    for alpha, sizes in ((0.05, (10, 20)), (0.001, (15, 30))):
        table = power(active, fresh_folder("power_theory", f"active-{alpha}"), "--subjects",
                      ",".join(map(str, sizes)), "--replicates", "200", "--alpha", str(alpha),
                      "--correction", "none")
        for subjects in sizes:
            roi = row(table, subjects, "Faces", "Region1", "roi_power")
            expected = noncentral_power(subjects, alpha, within_variance)
            assert abs(float(roi["analytic"]) - expected) < 2e-3, (roi, expected)
            assert within(expected, roi), (roi, expected)
            assert float(roi["true_effect"]) == EFFECT and roi["replicates"] == "200"
            # Objects has no effect: its region-mean test rejects at rate alpha.
            assert within(alpha, row(table, subjects, "Objects", "Region1", "roi_power"))

    table = power(silent, fresh_folder("power_theory", "silent-none"), "--subjects", "8",
                  "--replicates", "200", "--correction", "none")
    assert within(0.05, row(table, 8, "Faces", "Region1", "roi_power"))
    rate = row(table, 8, "Faces", "outside", "false_positive_rate")
    assert float(rate["analytic"]) == 0.05 and within(0.05, rate), rate
    table = power(silent, fresh_folder("power_theory", "silent-bonferroni"), "--subjects", "8",
                  "--replicates", "200", "--correction", "bonferroni")
    for effect in ("Faces", "Objects"):
        family = row(table, 8, effect, "outside", "family_wise")
        assert float(family["ci_low"]) <= 0.05, family
    print("power agrees with the noncentral t; error rates hold at alpha")


main()
