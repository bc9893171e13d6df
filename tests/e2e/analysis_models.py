"""`cohortix analyze` against independent implementations on a simulated study
with two groups and three within factors (examples/event-related.cxd):

- first level: the betas (in percent of the subject's baseline) and t values of
  sampled voxels equal statsmodels OLS on the design built here from the .rtc, an
  intercept and the cosine drifts; with --ar1 the pooled, bias-corrected rho
  equals the one solved here with explicit matrices, and the betas and t equal
  statsmodels GLS with that AR(1) covariance;
- group level: every effect's weights equal the factorial contrasts built here,
  the one-sample and Welch t maps equal scipy's, the voxels kept by the FDR
  threshold are those statsmodels' Benjamini-Hochberg rejects, and those kept by
  the family-wise correction by permutation are those whose share of relabellings
  (all sign flips, all splits into groups: enumerated here) with a maximum |t| at
  least theirs is at most alpha, and those kept by the cluster-level correction
  are the voxels of clusters (scipy.ndimage, 26 neighbours) larger than all but a
  share alpha of the relabellings' largest clusters;
- the study read back from its BIDS export gives the same maps, and a group
  name that looks like a path names files inside the output folder."""
import glob
import itertools
import json
import math
import os
import subprocess
import sys

import nibabel as nib
import numpy as np
import scipy.linalg
import scipy.ndimage
import scipy.optimize
import scipy.stats
import statsmodels.api as sm
from statsmodels.stats.multitest import multipletests

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import Vtc, example, fresh_folder, read_rtc, run_cohortix

TOLERANCE = 1e-4
HIGHPASS = 128.0


def analyze(*arguments):
    result = subprocess.run([os.environ["COHORTIX"], "analyze", *arguments],
                            capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    # No progress line without a terminal; only the note that a run folder without
    # its control file gets no truth.
    assert all(line.startswith("cohortix: no truth written") for line in result.stderr.splitlines()), result.stderr
    return arguments[-1]


def design(rtc_path, volumes, tr):
    _, predictors = read_rtc(rtc_path)
    drifts = int(min(math.floor(2 * volumes * tr / HIGHPASS), volumes - 1))
    t = np.arange(volumes)
    cosines = [np.sqrt(2 / volumes) * np.cos(np.pi * k * (t + 0.5) / volumes)
               for k in range(1, drifts + 1)]
    return np.column_stack([predictors, np.ones(volumes), *cosines]), predictors.shape[1]


def sidecar(path):
    return json.load(open(path))


def image(path):
    return np.asarray(nib.load(path).dataobj, dtype=np.float64)


def check_first_level(run, out, stem, ar1, rng):
    vtc = Vtc(os.path.join(run, stem + ".vtc"))
    series = vtc.as_nifti_order().reshape(-1, vtc.data.shape[3], order="F").astype(np.float64)
    volumes = series.shape[1]
    x, cells = design(os.path.join(run, stem + ".rtc"), volumes, vtc.tr)
    info = sidecar(os.path.join(out, "first-level", stem + "_beta.json"))
    assert info["DriftRegressors"] == x.shape[1] - cells - 1, info
    rho = 0.0
    if ar1:
        rho = pooled_rho(x, cells, series)
        assert abs(info["AR1"] - rho) < TOLERANCE, (stem, info["AR1"], rho)
    whitened_x = whiten(x, rho)
    coefficients = np.linalg.lstsq(whitened_x, whiten(series.T, rho), rcond=None)[0]
    intercepts = coefficients[cells]
    signal = intercepts > intercepts.mean() / 8
    baseline = intercepts[signal].mean()
    assert abs(info["Baseline"] / baseline - 1) < 1e-6, (stem, info["Baseline"], baseline)
    betas = image(os.path.join(out, "first-level", stem + "_beta.nii.gz")).reshape(-1, cells, order="F")
    ts = image(os.path.join(out, "first-level", stem + "_t.nii.gz")).reshape(-1, cells, order="F")
    # Sampled voxels, and the strongest ones of the first cell, where the signal is.
    voxels = np.concatenate([rng.choice(len(series), 150, replace=False),
                             np.argsort(-np.abs(ts[:, 0]))[:50]])
    sigma = scipy.linalg.toeplitz(rho ** np.arange(volumes)) if ar1 else None
    for v in voxels:
        model = sm.GLS(series[v], x, sigma=sigma) if ar1 else sm.OLS(series[v], x)
        fit = model.fit()
        expected_betas = 100 * fit.params[:cells] / baseline
        assert np.allclose(betas[v], expected_betas, rtol=TOLERANCE, atol=TOLERANCE), (
            stem, v, betas[v], expected_betas)
        assert np.allclose(ts[v], fit.tvalues[:cells], rtol=TOLERANCE, atol=TOLERANCE), (
            stem, v, ts[v], fit.tvalues[:cells])


def whiten(matrix, rho):
    whitened = matrix.astype(np.float64).copy()
    whitened[1:] -= rho * matrix[:-1]
    whitened[0] *= np.sqrt(1 - rho * rho)
    return whitened


def pooled_rho(x, cells, series):
    """The rho whose expected residual lag-one autocorrelation under the design,
    trace(D M R M) / trace(M R M), equals the pooled one of the OLS residuals of
    the voxels that hold signal."""
    n = x.shape[0]
    coefficients = np.linalg.lstsq(x, series.T, rcond=None)[0]
    intercepts = coefficients[cells]
    r = (series.T - x @ coefficients)[:, intercepts > intercepts.mean() / 8]
    observed = np.sum(r[1:] * r[:-1]) / np.sum(r * r)
    m = np.eye(n) - x @ np.linalg.pinv(x)
    lag = np.eye(n, k=1)

    def expected(rho):
        mrm = m @ scipy.linalg.toeplitz(rho ** np.arange(n)) @ m
        return np.trace(lag @ mrm) / np.trace(mrm)

    return scipy.optimize.brentq(lambda rho: expected(rho) - observed, -0.99, 0.99, xtol=1e-12)


def factorial_weights(levels):
    """Main effects and interactions as Kronecker products, the first factor fastest."""
    def difference(count, j):
        row = np.zeros(count)
        row[j], row[j + 1] = 1, -1
        return row

    effects = []
    factors = range(len(levels))
    for order in range(1, len(levels) + 1):
        for subset in sorted(s for s in range(1, 2 ** len(levels)) if bin(s).count("1") == order):
            rows = [[difference(levels[f], j) for j in range(levels[f] - 1)]
                    if subset >> f & 1 else [np.full(levels[f], 1 / levels[f])] for f in factors]
            for combination in np.ndindex(*[len(r) for r in rows]):
                weights = np.ones(1)
                for f in factors:
                    weights = np.kron(rows[f][combination[f]], weights)
                effects.append(weights)
    return effects


def expected_rejections(p, correction, alpha):
    if correction == "none":
        return p <= alpha
    method = {"bonferroni": "bonferroni", "fdr": "fdr_bh"}[correction]
    return multipletests(p, alpha=alpha, method=method)[0]


def welch_t(values, in_first):
    a, b = values[in_first], values[~in_first]
    return (a.mean(0) - b.mean(0)) / np.sqrt(a.var(0, ddof=1) / len(a) + b.var(0, ddof=1) / len(b))


def relabelled_t(values, mask, test):
    """The t of the tested voxels under every relabelling, the observed one first."""
    tested = values[:, mask]
    n = len(tested)
    if test == "one-sample t":
        return [scipy.stats.ttest_1samp(np.array(signs)[:, None] * tested, 0.0, axis=0).statistic
                for signs in itertools.product([1.0, -1.0], repeat=n)]
    statistic = []
    for chosen in itertools.combinations(range(n), n // 2):  # the example's groups are equal
        in_first = np.zeros(n, bool)
        in_first[list(chosen)] = True
        statistic.append(welch_t(tested, in_first))
    return statistic


def to_exceed(maxima, alpha):
    """The largest of the other relabellings' maxima that an observed one must exceed."""
    others = np.sort(maxima[1:])[::-1]
    allowed = int(np.floor(alpha * len(maxima) + 1e-9))
    return others[allowed - 1] if allowed >= 1 else np.inf


def permutation_rejections(values, mask, test, alpha):
    """Every relabelling's maximum |t| over the mask; a voxel is rejected when at most
    a share alpha of them reach its |t|. Returns the rejections and the cut on |t|."""
    statistic = [np.abs(t) for t in relabelled_t(values, mask, test)]
    maxima = np.array([s.max() for s in statistic])
    observed = statistic[0]
    share = (maxima[None, :] >= observed[:, None]).mean(1)
    cut = to_exceed(maxima, alpha)
    rejected = np.zeros(mask.shape, bool)
    rejected[mask] = share <= alpha
    near = np.zeros(mask.shape, bool)
    near[mask] = np.abs(observed - cut) <= TOLERANCE * max(1.0, cut)
    # Corrected p-values, but where |t| ties a maximum within rounding.
    corrected = np.ones(mask.shape)
    corrected[mask] = share
    tied = np.zeros(mask.shape, bool)
    tied[mask] = np.min(np.abs(observed[:, None] - maxima[None, :]), 1) <= TOLERANCE * np.maximum(1.0, observed)
    return rejected, cut, near, corrected, tied


def clusters(t, mask, forming):
    """Labels of the clusters of voxels beyond +-forming, 26 neighbours, and their sizes."""
    labels = np.zeros(mask.shape, int)
    sizes = []
    for side in (1, -1):
        beyond = np.zeros(mask.shape, bool)
        beyond[mask] = side * t >= forming
        found, count = scipy.ndimage.label(beyond, structure=np.ones((3, 3, 3)))
        for c in range(1, count + 1):
            sizes.append(int((found == c).sum()))
            labels[found == c] = len(sizes)
    return labels, np.array(sizes)


def cluster_rejections(values, mask, test, alpha, forming):
    statistic = relabelled_t(values, mask, test)
    maxima = np.array([max(clusters(t, mask, forming)[1], default=0) for t in statistic])
    labels, sizes = clusters(statistic[0], mask, forming)
    critical = to_exceed(maxima, alpha)
    shares = np.array([1.0] + [(1 + (maxima[1:] >= size).sum()) / len(maxima) for size in sizes])
    return np.isin(labels, 1 + np.flatnonzero(sizes > critical)), critical, sizes, shares[labels]


def check_group_level(out):
    info = sidecar(os.path.join(out, "analysis.json"))
    cells = len(info["Cells"])
    effects = info["Effects"]
    assert [e["Weights"] for e in effects[:cells]] == np.eye(cells).tolist()
    generated = [e["Weights"] for e in effects[cells:]]
    assert np.allclose(generated, factorial_weights([2, 2, 2])), generated
    subjects = [row.split("\t") for row in open(os.path.join(out, "subjects.tsv")).read().split("\n")[1:-1]]
    groups = np.array([row[1] for row in subjects])
    betas = np.stack([image(os.path.join(out, "first-level", row[0] + "_beta.nii.gz"))
                      for row in subjects])
    maps = [row.split("\t") for row in open(os.path.join(out, "maps.tsv")).read().split("\n")[1:-1]]
    assert len(maps) == len(effects) * 4, len(maps)  # all, G1, G2, G1 - G2
    discoveries = 0
    for row in maps:
        name, test, scope, correction, alpha = row[0], row[1], row[2], row[7], float(row[8])
        label = name.split("_", 1)[1]
        weights = next(e["Weights"] for e in effects if e["Label"] == label)
        values = np.tensordot(betas, np.array(weights), axes=([4], [0]))
        t = image(os.path.join(out, "group", name + "_t.nii.gz"))
        if test == "one-sample t":
            chosen = values if scope == "all" else values[groups == scope]
            expected = scipy.stats.ttest_1samp(chosen, 0.0, axis=0)
        else:
            first, second = scope.split(" - ")
            expected = scipy.stats.ttest_ind(values[groups == first], values[groups == second],
                                             axis=0, equal_var=False)
        assert np.allclose(t, expected.statistic, rtol=TOLERANCE, atol=TOLERANCE), name
        kept = image(os.path.join(out, "group", name + "_thresholded.nii.gz")) != 0
        if correction in ("fwe", "cluster"):
            mask = image(os.path.join(out, "mask.nii.gz")) != 0
            if test == "one-sample t":
                chosen = values if scope == "all" else values[groups == scope]
            else:
                chosen = np.concatenate([values[groups == g] for g in scope.split(" - ")])
            threshold = sidecar(os.path.join(out, "group", name + "_t.json"))["Threshold"]
        if correction == "cluster":
            df = len(chosen) - (1 if test == "one-sample t" else 2)
            forming = scipy.stats.t.isf(0.001 / 2, df)
            assert np.isclose(threshold["T"], forming, rtol=1e-9), (name, threshold, forming)
            rejected, critical, sizes, corrected = cluster_rejections(chosen, mask, test, alpha, forming)
            pfwe = image(os.path.join(out, "group", name + "_pfwe.nii.gz"))
            assert np.allclose(pfwe, corrected, rtol=1e-6), name
            assert threshold["Exhaustive"] and threshold["Clusters"] == len(sizes), (name, threshold, sizes)
            assert threshold["CriticalClusterVoxels"] == (None if np.isinf(critical) else critical), (name, threshold, critical)
            assert np.array_equal(kept, rejected), (name, kept.sum(), rejected.sum())
            table = [row.split("\t") for row in open(os.path.join(out, "group", name + "_clusters.tsv")).read().splitlines()[1:]]
            assert sorted((int(row[2]) for row in table), reverse=True) == sorted(sizes, reverse=True), (name, table, sizes)
            discoveries += rejected.sum()
            continue
        if correction == "fwe":
            rejected, cut, near, corrected, tied = permutation_rejections(chosen, mask, test, alpha)
            pfwe = image(os.path.join(out, "group", name + "_pfwe.nii.gz"))
            assert np.allclose(pfwe[~tied], corrected[~tied], rtol=1e-6), name
            assert threshold["Exhaustive"] and np.isclose(threshold["T"], cut, rtol=TOLERANCE), (name, threshold, cut)
            assert np.array_equal(kept[~near], rejected[~near]), (name, kept.sum(), rejected.sum())
            discoveries += rejected.sum()
            continue
        rejected = expected_rejections(expected.pvalue.ravel(), correction, alpha)
        assert np.array_equal(kept.ravel(), rejected), (name, kept.sum(), rejected.sum())
        assert int(row[12]) == rejected.sum(), row
        discoveries += rejected.sum()
    return discoveries


def check_same_maps(out, other):
    ours = sorted(glob.glob(os.path.join(out, "group", "*_t.nii.gz")))
    theirs = sorted(glob.glob(os.path.join(other, "group", "*_t.nii.gz")))
    assert len(ours) == len(theirs) > 0
    all_ours = [p for p in ours if os.path.basename(p).startswith("all_")]
    for path in all_ours:
        twin = os.path.join(other, "group", os.path.basename(path))
        assert np.array_equal(image(path), image(twin)), path


def write_ar1_run(run, stem, folder, rho, sd, rng):
    """The subject's files with AR(1) noise added to its volume time course."""
    raw = open(os.path.join(run, stem + ".vtc"), "rb").read()
    offset = int(np.frombuffer(raw, "<u4", 1, 8)[0])
    data = np.frombuffer(raw, "<f4", offset=offset).reshape(-1, int(np.frombuffer(raw, "<i4", 1, 16)[0]))
    noise = rng.standard_normal(data.shape) * sd * np.sqrt(1 - rho * rho)
    noise[:, 0] /= np.sqrt(1 - rho * rho)
    for t in range(1, data.shape[1]):
        noise[:, t] += rho * noise[:, t - 1]
    with open(os.path.join(folder, stem + ".vtc"), "wb") as out:
        out.write(raw[:offset] + (data + noise).astype("<f4").tobytes())
    with open(os.path.join(folder, stem + ".rtc"), "wb") as out:
        out.write(open(os.path.join(run, stem + ".rtc"), "rb").read())


def main():
    run = fresh_folder("run")
    bids = os.path.join(fresh_folder("bids"), "dataset")
    result = run_cohortix(example("event-related"), "-o", run, "--bids", bids)
    assert result.returncode == 0, result.stderr
    ols = analyze(run, "-o", os.path.join(run, "ols"))
    rng = np.random.default_rng(7)
    for stem in ("S1_G1_Events", "S4_G2_Events"):
        check_first_level(run, ols, stem, False, rng)
    ar1_run = fresh_folder("ar1-run")
    write_ar1_run(run, "S1_G1_Events", ar1_run, 0.5, 40.0, rng)
    check_first_level(ar1_run, analyze(ar1_run, "--ar1", "-o", os.path.join(ar1_run, "out")),
                      "S1_G1_Events", True, rng)
    discoveries = check_group_level(ols)
    for correction, alpha in (("none", "0.001"), ("bonferroni", "0.5"), ("fdr", "0.5"), ("fwe", "0.5"),
                              ("cluster", "0.5")):
        out = analyze(run, "--correction", correction, "--alpha", alpha, "-o",
                      os.path.join(run, correction))
        discoveries += check_group_level(out)
    assert discoveries > 100, discoveries  # the thresholds were put to work
    # A group name is data, not a path: maps of a group "../Patients" stay inside.
    participants = os.path.join(bids, "participants.tsv")
    table = open(participants).read()
    assert "\tPatients\n" in table, table
    open(participants, "w").write(table.replace("\tPatients\n", "\t../Patients\n"))
    from_bids = analyze(bids, "-o", os.path.join(run, "from-bids", "out"))
    check_same_maps(ols, from_bids)
    assert os.listdir(os.path.join(run, "from-bids")) == ["out"]
    assert os.path.exists(os.path.join(from_bids, "group", "_.._Patients_cell1-CongruentxLefthandxLow_t.nii.gz"))


if __name__ == "__main__":
    main()
