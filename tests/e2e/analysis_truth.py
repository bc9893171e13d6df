"""Every map `cohortix analyze` writes has its truth: of faces-and-places (two groups,
two within factors, contrasts), each group map's sidecar names the study's label map
of the asked regions and its own true-effect map; `cohortix score MAP` without
--truth scores against that label map and gives the numbers the report gives for
the same map. The true effects combine as the maps do: a contrast's is its weights
over the cells', the all-subjects map's the mean of the groups', the between-groups
map's their difference. Without the control file no truth is written, and said.
A high-pass cutoff that takes the design is warned about and recorded in
analysis.json; --strict refuses it, writing nothing. A BIDS dataset's analysis is
a derivative dataset with its own dataset_description.json, its truth from the
control file under code/; stripped of its design tables it is analysed, from its
events, to the same maps."""
import glob
import json
import os
import re
import shutil
import subprocess
import sys

import nibabel as nib
import numpy as np

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix

COHORTIX = os.environ["COHORTIX"]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def cohortix(*arguments, status=0):
    done = subprocess.run([COHORTIX, *arguments], capture_output=True, text=True)
    if done.returncode != status:
        sys.exit(f"FAIL: {arguments}: exit {done.returncode}, expected {status}: {done.stderr}")
    return done


def image(path):
    return np.asarray(nib.load(path).dataobj, dtype=np.float64)


def report_scores(html):
    """The report's score table: map -> (sensitivity, specificity, FDP, Dice, regions)."""
    table = html[html.index('id="results-scores"'):]
    table = table[:table.index("</table>")]
    rows = {}
    for row in re.findall(r"<tr>(.*?)</tr>", table, re.S):
        cells = [re.sub(r"<[^>]+>", "", cell).strip() for cell in re.findall(r"<t[hd][^>]*>(.*?)</t[hd]>", row, re.S)]
        if len(cells) == 6:
            rows[cells[0]] = cells[1:]
    return rows


def received_truth(dataset, analysis):
    """Where the subjects' regions lie elsewhere than asked (faces-and-places jitters
    its centres), each map's received truth is, voxel by voxel, the mean over the
    map's subjects of the effect each received there: rebuilt here from every
    subject's region labels and the asked truth's value per group and region."""
    groups = {}
    for row in open(os.path.join(dataset, "participants.tsv")).read().splitlines()[1:]:
        subject, group = row.split("\t")[:2]
        groups.setdefault(group, []).append(subject)
    labels = {subject: image(glob.glob(os.path.join(dataset, "derivatives", "cohortix", subject, "func",
                                                    "*_desc-regions_dseg.nii*"))[0])
              for members in groups.values() for subject in members}
    asked = image(os.path.join(analysis, "truth_regions.nii.gz"))
    check(any(not np.array_equal(l, asked) for l in labels.values()), "no subject received a region elsewhere")
    first, second = groups

    def mean_received(group, effect):
        truth = image(os.path.join(analysis, "group", f"{group}_{effect}_truth.nii.gz"))
        value = {r: truth[asked == r][0] for r in (1, 2)}
        total = sum(np.select([labels[s] == 1, labels[s] == 2], [value[1], value[2]], 0.0) for s in groups[group])
        return total / len(groups[group])

    for sidecar in glob.glob(os.path.join(analysis, "group", "*_cell*_truth.json")):
        name = os.path.basename(sidecar)[:-len("_truth.json")]
        scope, effect = name.split("_", 1)
        expected = {first: lambda: mean_received(first, effect), second: lambda: mean_received(second, effect),
                    "all": lambda: (mean_received(first, effect) + mean_received(second, effect)) / 2,
                    f"{first}vs{second}": lambda: mean_received(first, effect) - mean_received(second, effect)}[scope]()
        received = json.load(open(sidecar)).get("TrueEffectReceived")
        check(received == f"{name}_truth_received.nii.gz", f"{name}: received truth named {received}")
        if received:
            found = image(os.path.join(analysis, "group", received))
            check(np.allclose(found, expected, atol=1e-5), f"{name}: received truth off by {np.abs(found - expected).max()}")


def bids_dataset(dataset):
    """The dataset's analysis: a derivative with its truth; stripped of its design
    tables (or with --design-from-events) the designs built from the events give
    the same maps, to float rounding."""
    done = cohortix("analyze", dataset)
    analysis = os.path.join(dataset, "derivatives", "analysis")
    description = json.load(open(os.path.join(analysis, "dataset_description.json")))
    check(description["DatasetType"] == "derivative" and description["BIDSVersion"], description)
    check("no truth written" not in done.stderr and os.path.exists(os.path.join(analysis, "truth_regions.nii.gz")),
          done.stderr)
    received_truth(dataset, analysis)
    stripped = dataset + "-stripped"
    shutil.rmtree(stripped, ignore_errors=True)
    shutil.copytree(dataset, stripped, ignore=shutil.ignore_patterns("*_desc-design_timeseries.tsv", "analysis"))
    cohortix("analyze", stripped)
    cohortix("analyze", dataset, "--design-from-events", "-o", os.path.join(dataset, "from-events"))
    for other in (os.path.join(stripped, "derivatives", "analysis"), os.path.join(dataset, "from-events")):
        names = sorted(os.path.relpath(p, analysis) for p in glob.glob(os.path.join(analysis, "*", "*_t.nii.gz")))
        check(len(names) > 30, f"{len(names)} t maps")
        for name in names:
            mine, theirs = image(os.path.join(analysis, name)), image(os.path.join(other, name))
            check(np.allclose(mine, theirs, rtol=1e-4, atol=1e-4, equal_nan=True), f"{other}: {name} differs")


def main():
    study = example("faces-and-places")
    run = fresh_folder("truth-run")
    dataset = run + "-bids"
    shutil.rmtree(dataset, ignore_errors=True)
    assert run_cohortix(study, "-o", run, "--bids", dataset).returncode == 0
    # The run's record keeps its control file: no --control needed.
    kept = cohortix("analyze", run, "-o", os.path.join(run, "kept"))
    check("no truth written" not in kept.stderr and
          os.path.exists(os.path.join(run, "kept", "truth_regions.nii.gz")), kept.stderr)
    # A run without its record (an older one) needs --control for its truth.
    os.rename(os.path.join(run, "cohortix-run.json"), os.path.join(run, "elsewhere.json"))
    bare = cohortix("analyze", run, "-o", os.path.join(run, "bare"))
    check("no truth written" in bare.stderr and "--control" in bare.stderr, bare.stderr)
    check(not os.path.exists(os.path.join(run, "bare", "truth_regions.nii.gz")), "a truth without a control file")
    refused = cohortix("score", glob.glob(os.path.join(run, "bare", "group", "all_cell1*_thresholded.nii.gz"))[0],
                       status=1).stderr
    check("give --truth" in refused, refused)

    warned = os.path.join(run, "warned")
    strict = cohortix("analyze", run, "-o", warned, "--highpass", "20", "--strict", status=1)
    check("warning: --highpass 20 removes" in strict.stderr and not os.path.exists(warned), strict.stderr)
    cohortix("analyze", run, "-o", warned, "--highpass", "20", "--control", study)
    recorded = json.load(open(os.path.join(warned, "analysis.json")))["Warnings"]
    check(recorded and all(line in strict.stderr for line in recorded), f"{recorded} against {strict.stderr}")
    cohortix("analyze", run, "--control", study)
    check(json.load(open(os.path.join(run, "analysis", "analysis.json")))["Warnings"] == [], "warnings at 128 s")
    analysis = os.path.join(run, "analysis")
    cohortix("report", run, "--control", study, "-o", os.path.join(run, "report.html"))
    reported = report_scores(open(os.path.join(run, "report.html"), encoding="utf-8").read())
    labels = image(os.path.join(analysis, "truth_regions.nii.gz"))
    check(sorted(np.unique(labels).tolist()) == [0, 1, 2] and (labels == 1).sum() == (labels == 2).sum() == 81,
          f"label map holds {np.unique(labels, return_counts=True)}")

    maps = [line.split("\t")[0] for line in open(os.path.join(analysis, "maps.tsv")).read().splitlines()[1:]]
    check(len(maps) == 28, f"{len(maps)} maps")  # 4 cells and 3 contrasts, 4 scopes
    truths = {}
    for name in maps:
        stem = os.path.join(analysis, "group", name)
        for kind in ("t", "effect", "thresholded"):
            sidecar = json.load(open(f"{stem}_{kind}.json"))
            check(sidecar.get("Truth") == "../truth_regions.nii.gz" and sidecar.get("TrueEffect") == f"{name}_truth.nii.gz",
                  f"{name}_{kind}: {sidecar}")
        truths[name] = (image(f"{stem}_truth.nii.gz"), json.load(open(f"{stem}_truth.json"))["Weights"])
        scored = dict(line.split("\t") for line in cohortix("score", f"{stem}_thresholded.nii.gz").stdout.splitlines()[1:])
        if name in reported:
            sensitivity, specificity, fdp, dice, regions = reported[name]
            for measure, shown in (("sensitivity", sensitivity), ("specificity", specificity),
                                   ("false_discovery_proportion", fdp), ("dice", dice)):
                check(f"{float(scored[measure]):.3f}" == shown, f"{name}: {measure} {scored[measure]}, report {shown}")
            found = [f"Region {r}: {scored[f'region_{r}_detected_voxels']}/{scored[f'region_{r}_voxels']}" for r in (1, 2)]
            check(all(text in regions for text in found), f"{name}: {found}, report {regions}")
    check(sum(name in reported for name in maps) >= 7, f"the report scored {sorted(reported)}")

    # The true effects combine as the maps do. The groups' scopes are named as the
    # study names its groups (the run's record), the comparison "<first>vs<second>".
    between = next(n.split("_")[0] for n in maps if "vs" in n.split("_")[0])
    first, second = between.split("vs")
    for scope in ("all", first, second, between):
        cells = [truths[n][0] for n in maps if n.startswith(scope + "_cell")]
        for name in (n for n in maps if n.startswith(scope + "_con")):
            truth, weights = truths[name]
            combined = sum(w * cell for w, cell in zip(weights, cells))
            check(np.allclose(truth, combined, atol=1e-5), f"{name}: not its weights over the cells")
    for name in (n for n in maps if n.startswith("all_")):
        effect = name[len("all_"):]
        g1, g2 = truths[f"{first}_{effect}"][0], truths[f"{second}_{effect}"][0]
        check(np.allclose(truths[name][0], (g1 + g2) / 2, atol=1e-5), f"{name}: not the groups' mean")
        check(np.allclose(truths[f"{between}_{effect}"][0], g1 - g2, atol=1e-5), f"{between}_{effect}: not the difference")
    check(np.all((truths["all_cell1-FacesxAttended"][0] != 0) == (labels > 0)), "a true effect outside the regions")
    # --smooth: recorded in every sidecar and in analysis.json, and applied.
    smoothed = os.path.join(run, "smoothed")
    cohortix("analyze", run, "-o", smoothed, "--smooth", "6", "--control", study)
    check(json.load(open(os.path.join(smoothed, "analysis.json")))["SmoothingFwhmMm"] == 6, "smoothing not recorded")
    check(json.load(open(glob.glob(os.path.join(smoothed, "group", "all_cell1*_t.json"))[0]))["SmoothingFwhmMm"] == 6,
          "smoothing not in the group sidecar")
    betas = [image(glob.glob(os.path.join(folder, "first-level", "S1_*_beta.nii.gz"))[0]) for folder in (analysis, smoothed)]
    check(betas[1].std() < betas[0].std(), "smoothing did not smooth the betas")
    bids_dataset(dataset)
    if failures:
        sys.exit("FAIL:\n" + "\n".join(failures))
    print("every map has its truth; score and the report agree on every map the report scores")


if __name__ == "__main__":
    main()
