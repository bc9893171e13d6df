"""Noise that measures what its profile says, on every example, whatever its
NoisePercent: the host's noise takes the place of the plug-in's own. A profile
measured from a run (`noise-stats --profile-out`) reproduces that run's statistics
through `run --noise`; the bundled 3 T profile reads back as it asks; a profile that
adds to the plug-in's noise reads what `check --noise` and `run` forecast."""
import glob
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import example, fresh_folder, run_cohortix

TMP = os.environ["COHORTIX_TEST_TMP"]
os.makedirs(TMP, exist_ok=True)
PROFILES = os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "examples", "noise")
EXAMPLES = ("block-design", "event-related", "faces-and-places", "full-brain", "noise-free",
            "region-of-interest")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def cohortix(*arguments):
    return subprocess.run([os.environ["COHORTIX"], *arguments], capture_output=True, text=True)


def run(study, out, *arguments):
    done = run_cohortix(study, "-o", out, *arguments)
    if done.returncode != 0:
        sys.exit(f"FAIL: run {study} {arguments}: exit {done.returncode}: {done.stderr}")
    return done


def statistics(out, *arguments):
    """noise-stats of the first subject's .vtc."""
    vtc = sorted(glob.glob(os.path.join(out, "S1_G1_*.vtc")))[0]
    done = cohortix("noise-stats", vtc, "--json", *arguments)
    if done.returncode != 0:
        sys.exit(f"FAIL: noise-stats {vtc}: {done.stderr}")
    return json.loads(done.stdout)


def neighbour_correlation(fwhm_mm, voxel_mm):
    """The lag-one spatial correlation of a field of this FWHM, as the estimator
    reads it: a Gaussian autocorrelation of FWHM sqrt(2) times the field's."""
    return 0.0 if not fwhm_mm else 2.0 ** (-2.0 * (voxel_mm / fwhm_mm) ** 2)


def agrees(name, found, expected, voxel_mm=3.0):
    """Within the noise tests' tolerances: temporal SNR 5 %, AR(1) 0.02, FWHM 5 % (or,
    for a field as good as white, its neighbours' correlation within 0.01)."""
    check(abs(found["tsnr"] / expected["tsnr"] - 1) < 0.05, f"{name}: temporal SNR {found['tsnr']}, expected {expected['tsnr']}")
    check(abs(found["ar1"] - expected["ar1"]) < 0.02, f"{name}: AR(1) {found['ar1']}, expected {expected['ar1']}")
    rho = [neighbour_correlation(r["fwhm_mean_mm"], voxel_mm) for r in (found, expected)]
    if max(rho) < 0.05:
        check(abs(rho[0] - rho[1]) < 0.01, f"{name}: neighbour correlation {rho[0]}, expected {rho[1]}")
    else:
        check(abs(found["fwhm_mean_mm"] / expected["fwhm_mean_mm"] - 1) < 0.05,
              f"{name}: FWHM {found['fwhm_mean_mm']} mm, expected {expected['fwhm_mean_mm']}")


def round_trip(name):
    study = example(name)
    plain, measured, bundled = (fresh_folder("round-trip", name, kind) for kind in ("plain", "measured", "3T"))
    run(study, plain)
    profile = os.path.join(fresh_folder("round-trip", name, "profile"), "measured.toml")
    if name == "noise-free":
        # No noise, no profile: none a run could read is written.
        vtc = sorted(glob.glob(os.path.join(plain, "S1_G1_*.vtc")))[0]
        done = cohortix("noise-stats", vtc, "--profile-out", profile)
        check(done.returncode == 1 and "no noise profile written" in done.stderr and not os.path.exists(profile),
              f"noise-stats --profile-out of noise-free data: exit {done.returncode}: {done.stderr}")
    else:
        source = statistics(plain, "--profile-out", profile)
        run(study, measured, "--noise", profile)
        agrees(name + " (its own profile)", statistics(measured), source)
    run(study, bundled, "--noise", os.path.join(PROFILES, "3T-TR2-3mm.toml"))
    agrees(name + " (3 T profile)", statistics(bundled), {"tsnr": 70, "ar1": 0.3, "fwhm_mean_mm": 5.5})
    # The whole-brain examples write gigabytes: each example's runs go once read.
    shutil.rmtree(os.path.join(TMP, "round-trip", name))


def forecast_numbers(line):
    """The first temporal SNR, AR(1) and FWHM a forecast line gives."""
    words = line.replace(",", "").split()
    return {"tsnr": float(words[words.index("SNR") + 1]), "ar1": float(words[words.index("AR(1)") + 1]),
            "fwhm_mean_mm": float(words[words.index("FWHM") + 1])}


def added_noise():
    """A profile that adds to the plug-in's noise: check and run say what the data will
    read, and they do."""
    study = example("faces-and-places")
    text = open(os.path.join(PROFILES, "3T-TR2-3mm.toml"), encoding="utf-8").read()
    profile = os.path.join(fresh_folder("round-trip", "added-profile"), "added.toml")
    with open(profile, "w", encoding="utf-8") as out:
        out.write('plugin_noise = "add"\n' + text)
    checked = cohortix("check", study, "--noise", profile)
    check(checked.returncode == 0, checked.stderr)
    line = [l for l in checked.stdout.splitlines() if l.startswith("noise: ")]
    check(len(line) == 1 and "NoisePercent 1.5" in line[0], checked.stdout)
    out = fresh_folder("round-trip", "added")
    done = run(study, out, "--noise", profile)
    check(line[0][len("noise: "):] in done.stderr, f"run says {done.stderr!r}, check said {line[0]!r}")
    forecast = forecast_numbers(line[0])
    check(forecast["tsnr"] < 60, f"the forecast of both noises reads {forecast}")
    agrees("faces-and-places (added)", statistics(out), forecast)
    replaced = cohortix("check", study, "--noise", os.path.join(PROFILES, "3T-TR2-3mm.toml"))
    check("takes the place of the plug-in's own noise" in replaced.stdout, replaced.stdout)


for name in EXAMPLES:
    round_trip(name)
added_noise()
if failures:
    sys.exit("FAIL:\n" + "\n".join(failures))
print("host noise reads as its profile says on every example; added noise reads as forecast")
