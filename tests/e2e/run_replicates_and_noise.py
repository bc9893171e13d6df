"""`cohortix run --replicate K` and `--noise PROFILE --seed N`, end to end.
Replicates: replicate 0 is the plain run byte for byte; replicate 1 of a study with
one effect row per subject holds exactly the files of subjects N+1..2N of the same
study with 2N subjects (rows repeated), under the names of subjects 1..N; nothing
of the skipped subjects is written; replicates differ. Noise: white noise of 1 %
is what the profile says (SD, mean, no correlation in time or space, measured with
numpy against the plain run), the 3 T profile reads back through noise-stats as
asked, the native, NIfTI and BIDS outputs hold the same noisy data, the README
records profile, seed and replicate, and seeds and subjects have their own noise.
Bad profiles, --seed without --noise and a replicate the control file cannot hold
are refused before anything is written."""
import glob
import json
import os
import re
import subprocess
import sys

import nibabel as nib
import numpy as np

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import Vtc, example, fresh_folder, run_cohortix

TMP = os.environ["COHORTIX_TEST_TMP"]
os.makedirs(TMP, exist_ok=True)
PROFILES = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "examples", "noise")


def check(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def run(*arguments, expect=0):
    done = run_cohortix(*arguments)
    check(done.returncode == expect,
          f"{arguments}: exit {done.returncode}, expected {expect}: {done.stderr}")
    return done


def write(name, text):
    path = os.path.join(TMP, name)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return path


def small_blocks(subjects_per_group):
    """examples/block-design.cxd in a 15^3 box, one effect row per subject, the
    four rows repeated to fill `subjects_per_group`."""
    text = open(example("block-design"), encoding="utf-8").read()
    for old, new in [("BoxZ: 70 160", "BoxZ: 100 145"), ("BoxX: 80 170", "BoxX: 100 145"),
                     ("BoxY: 60 150", "BoxY: 90 135"), ("Center: 30 -20 10", "Center: 6 6 16"),
                     ("Center: -20 -20 10", "Center: 0 10 16"),
                     ("SubjectsPerGroup: 4", f"SubjectsPerGroup: {subjects_per_group}")]:
        check(old in text, old)
        text = text.replace(old, new)
    head, regions = text.split("Region1:")
    region1, region2 = regions.split("Region2:")
    repeat = lambda rows: "\n".join((rows.strip().splitlines()) * (subjects_per_group // 4)) + "\n"
    return head + "Region1: " + repeat(region1) + "Region2: " + repeat(region2)


def files_of(folder):
    return sorted(os.listdir(folder))


def replicates():
    study = write("Blocks.cxd", small_blocks(4))
    doubled = write("Doubled.cxd", small_blocks(8))
    plain, zero, one, two, twice = (fresh_folder("rep", name) for name in ("plain", "0", "1", "2", "twice"))
    run(study, "-o", plain)
    run(study, "-o", zero, "--replicate", "0")
    run(study, "-o", one, "--replicate", "1")
    run(study, "-o", two, "--replicate", "2")
    run(doubled, "-o", twice)
    names = [f"S{s}_G1_Blocks.{ext}" for s in range(1, 5) for ext in ("prt", "rtc", "vtc")]
    for folder in (plain, zero, one, two):
        check(files_of(folder) == sorted(names + ["cohortix-run.json"]), f"{folder} holds {files_of(folder)}")
    for name in names:
        check(open(os.path.join(plain, name), "rb").read() == open(os.path.join(zero, name), "rb").read(),
              f"replicate 0 differs from the plain run in {name}")
    for s in range(1, 5):
        for ext in ("prt", "rtc", "vtc"):
            kept = open(os.path.join(one, f"S{s}_G1_Blocks.{ext}"), "rb").read()
            source = open(os.path.join(twice, f"S{s + 4}_G1_Blocks.{ext}"), "rb").read()
            if ext == "prt":  # the protocol names its own file
                source = source.replace(f'"S{s + 4}_G1_Blocks.prt"'.encode(), f'"S{s}_G1_Blocks.prt"'.encode())
            check(kept == source, f"replicate 1's S{s}.{ext} is not the doubled study's S{s + 4}")
    # A replicate's truth is what the plug-in drew for the subjects it keeps: the
    # doubled study's truth of subjects 5..8, every subject (the skipped ones too)
    # checked against a replay of its draws; its dataset carries that truth.
    kept_truth, twice_truth = fresh_folder("rep", "1-truth"), fresh_folder("rep", "twice-truth")
    kept_bids = fresh_folder("rep", "1-truth-bids")
    os.rmdir(kept_bids)
    run(study, "-o", kept_truth, "--replicate", "1", "--truth", "--verify-truth", "--bids", kept_bids)
    run(doubled, "-o", twice_truth, "--truth")
    for s in range(1, 5):
        for kind in ("effects", "regions", "baseline"):
            kept = np.asanyarray(nib.load(os.path.join(kept_truth, f"S{s}_G1_Blocks_truth_{kind}.nii")).dataobj)
            source = np.asanyarray(nib.load(os.path.join(twice_truth, f"S{s + 4}_G1_Blocks_truth_{kind}.nii")).dataobj)
            check(np.array_equal(kept, source), f"replicate 1's S{s} {kind} truth is not the doubled study's S{s + 4}")
        kept = json.load(open(os.path.join(kept_truth, f"S{s}_G1_Blocks_truth.json")))
        source = json.load(open(os.path.join(twice_truth, f"S{s + 4}_G1_Blocks_truth.json")))
        check(kept["Regions"] == source["Regions"] and kept["Subject"] == s, f"S{s}: {kept} against {source}")
        check(os.path.isfile(os.path.join(kept_bids, "derivatives", "cohortix", f"sub-{s}", "func",
                                          f"sub-{s}_task-Blocks_space-Talairach_desc-effects_truth.nii")),
              f"replicate 1's dataset lacks the truth of sub-{s}")
    data = [Vtc(os.path.join(folder, "S1_G1_Blocks.vtc")).data for folder in (zero, one, two)]
    check(all(not np.array_equal(a, b) for a, b in [(data[0], data[1]), (data[1], data[2]), (data[0], data[2])]),
          "replicates 0, 1 and 2 are not all different")

    overfull = fresh_folder("rep", "overfull")
    done = run(study, "-o", overfull, "--replicate", "25", expect=5)
    check("needs 104 effect rows" in done.stderr and files_of(overfull) == [], done.stderr)
    check(not glob.glob(os.path.join(os.environ.get("TMPDIR", "/tmp"), "cohortix-replicate.*", "Blocks.cxd")),
          "a replicate's expanded study was left behind")


def quiet_study(regions):
    """examples/noise-free.cxd: a baseline of exactly 1000 and no noise of its own."""
    text = open(example("noise-free"), encoding="utf-8").read()
    if not regions:
        text = text.replace("Region1: 4.0 0.0", "Region1: 0.0 0.0").replace("Region2: 0.0 2.0", "Region2: 0.0 0.0")
    return write("Quiet.cxd" if not regions else "Active.cxd", text)


def white_noise():
    study = quiet_study(True)
    plain, noisy, again, other, bids, rep = (fresh_folder("white", n) for n in ("plain", "noisy", "again", "other", "bids", "rep"))
    os.rmdir(bids)
    white = os.path.join(PROFILES, "white-1percent.toml")
    run(study, "-o", plain)
    run(study, "-o", noisy, "--noise", white, "--seed", "7", "--nifti", "--bids", bids)
    run(study, "-o", again, "--noise", white, "--seed", "7")
    run(study, "-o", other, "--noise", white, "--seed", "8")
    run(study, "-o", rep, "--noise", white, "--seed", "7", "--replicate", "1")
    subjects = sorted(n for n in files_of(plain) if n.endswith(".vtc"))
    check(len(subjects) == 2, str(subjects))
    noise = []
    for name in subjects:
        base = Vtc(os.path.join(plain, name)).data.astype(np.float64)
        vtc = Vtc(os.path.join(noisy, name))
        added = vtc.data.astype(np.float64) - base
        noise.append(added)
        level = 0.01 * base.mean(axis=3).mean()
        check(abs(added.std() / level - 1) < 0.01, f"{name}: noise SD {added.std()} for 1 % of {level * 100}")
        check(abs(added.mean()) < 0.01 * level, f"{name}: noise mean {added.mean()}")
        lag1 = (added[..., 1:] * added[..., :-1]).mean() / added.var()
        across = (added[:, :, 1:, :] * added[:, :, :-1, :]).mean() / added.var()
        check(abs(lag1) < 0.01 and abs(across) < 0.01, f"{name}: correlations {lag1}, {across}")
        nifti = np.asarray(nib.load(os.path.join(noisy, name[:-4] + ".nii")).dataobj)
        check(np.array_equal(nifti, vtc.as_nifti_order()), f"{name}: the NIfTI volume is not the .vtc")
        check(open(os.path.join(noisy, name), "rb").read() == open(os.path.join(again, name), "rb").read(),
              f"{name}: the same seed gave other noise")
        check(not np.array_equal(Vtc(os.path.join(other, name)).data, vtc.data), f"{name}: seed 8 is seed 7")
        check(not np.array_equal(Vtc(os.path.join(rep, name)).data, vtc.data), f"{name}: replicate 1 is replicate 0")
    check(np.abs(np.corrcoef(noise[0].ravel(), noise[1].ravel())[0, 1]) < 0.01, "two subjects share their noise")
    bolds = sorted(glob.glob(os.path.join(bids, "sub-*", "func", "*_bold.nii*")))
    check(len(bolds) == 2, str(bolds))
    for bold, name in zip(bolds, subjects):
        check(np.array_equal(np.asarray(nib.load(bold).dataobj), Vtc(os.path.join(noisy, name)).as_nifti_order()),
              f"{bold} is not {name}")
    readme = open(os.path.join(bids, "README"), encoding="utf-8").read()
    for needle in ("Replicate 0", "white-1percent.toml", "seed 7", "level = 1", 'system = "gaussian"'):
        check(needle in readme, f"the README does not say {needle!r}:\n{readme}")
    plain_bids = fresh_folder("white", "plain-bids")
    os.rmdir(plain_bids)
    run(study, "-o", fresh_folder("white", "plain2"), "--bids", plain_bids)
    check("Replicate" not in open(os.path.join(plain_bids, "README"), encoding="utf-8").read(),
          "a plain run's README speaks of replicates")


def realistic_noise():
    """The bundled 3 T profile, read back by the estimators as it asks (its target)."""
    study = quiet_study(False)
    out = fresh_folder("3T")
    run(study, "-o", out, "--noise", os.path.join(PROFILES, "3T-TR2-3mm.toml"))
    done = subprocess.run([os.environ["COHORTIX"], "noise-stats", os.path.join(out, "S1_G1_NoiseFree.vtc"),
                           "--json"], capture_output=True, text=True)
    check(done.returncode == 0, done.stderr)
    stats = json.loads(done.stdout)
    check(abs(stats["tsnr"] / 70 - 1) < 0.05, f"temporal SNR {stats['tsnr']}, asked 70")
    check(abs(stats["ar1"] - 0.3) < 0.02, f"AR(1) {stats['ar1']}, asked 0.3")
    check(abs(stats["fwhm_mean_mm"] / 5.5 - 1) < 0.05, f"FWHM {stats['fwhm_mean_mm']} mm, asked 5.5")


def refusals():
    study = quiet_study(True)
    bad = write("bad.toml", "[noise]\nlevel = 1.0\nsystem_share = 1.5\n")
    out = os.path.join(TMP, "refused")
    subprocess.run(["rm", "-rf", out], check=True)
    done = run(study, "-o", out, "--noise", bad, expect=5)
    check("bad.toml:3: expected noise.system_share from 0 to 1, found 1.5" in done.stderr, done.stderr)
    check(not os.path.exists(out), "a refused profile's run made its output folder")
    done = run(study, "-o", out, "--seed", "3", expect=2)
    check("--noise" in done.stderr and not os.path.exists(out), done.stderr)


replicates()
white_noise()
realistic_noise()
refusals()
print("replicates keep the stream's later subjects; host noise is what its profile says, in every output")
