"""`cohortix run --anatomy --motion`: each subject's head moves through the run.
The data of each volume are the noise-free data of the same study without motion
moved as the truth's six parameters say, resampled by scipy.ndimage (cubic
B-spline) to within a thousandth of their range; the truth's framewise
displacement is Power's, from its own parameters; a realignment tool no one
here wrote (nipy's Realign4d) recovers the truth's motion from the dataset's bold
image, relative to the first volume, within 0.1 mm and 0.1 degree RMS; --motion
without --anatomy is refused with status 2 before anything is written."""
import json
import os
import sys

import nibabel as nib
import numpy as np
from scipy import ndimage

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import fresh_folder, read_tsv, run_cohortix, small_whole_brain  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(name, noise, *options, status=0):
    folder = fresh_folder(name)
    control = os.path.join(folder, "study.cxd")
    open(control, "w", encoding="utf-8").write(small_whole_brain(noise))
    done = run_cohortix(control, "-o", os.path.join(folder, "native"), "--bids", os.path.join(folder, "bids"),
                        *options)
    check(done.returncode == status, f"{name}: status {done.returncode}, {done.stderr}")
    return folder, done


def bold(folder, subject="1"):
    image = nib.load(os.path.join(folder, "bids", f"sub-{subject}", "func", f"sub-{subject}_task-WholeBrain_bold.nii"))
    return np.asanyarray(image.dataobj).astype(np.float64), image.affine


def motion_truth(folder, subject="1"):
    stem = os.path.join(folder, "bids", "derivatives", "cohortix", f"sub-{subject}", "func",
                        f"sub-{subject}_task-WholeBrain_desc-motion_timeseries")
    header, rows = read_tsv(stem + ".tsv")
    sidecar = json.load(open(stem + ".json", encoding="utf-8"))
    return header, rows, sidecar


def rotation(rx, ry, rz):
    def about(axis, angle):
        c, s = np.cos(angle), np.sin(angle)
        a, b = (axis + 1) % 3, (axis + 2) % 3
        m = np.eye(3)
        m[a, a], m[a, b], m[b, a], m[b, b] = c, -s, s, c
        return m
    return about(2, rz) @ about(1, ry) @ about(0, rx)


def pose_matrix(params, centre):
    """World millimetres of the head at rest to where the volume holds them."""
    m = np.eye(4)
    m[:3, :3] = rotation(*params[3:])
    m[:3, 3] = centre + params[:3] - m[:3, :3] @ centre
    return m


def check_truth_table(header, rows, sidecar):
    check(header == ["trans_x", "trans_y", "trans_z", "rot_x", "rot_y", "rot_z", "framewise_displacement"],
          f"motion table header {header}")
    check(sidecar["trans_x"]["Units"] == "mm" and sidecar["rot_z"]["Units"] == "rad" and
          sidecar["framewise_displacement"]["Units"] == "mm", f"units {sidecar}")
    params = np.array([[float(v) for v in row[:6]] for row in rows])
    check(not params[0].any() and rows[0][6] == "n/a", f"the first volume is not at rest: {rows[0]}")
    fd = np.abs(np.diff(params[:, :3], axis=0)).sum(axis=1) + 50 * np.abs(np.diff(params[:, 3:], axis=0)).sum(axis=1)
    written = np.array([float(row[6]) for row in rows[1:]])
    check(np.allclose(fd, written, rtol=1e-12, atol=1e-12), "the framewise displacement is not Power's")
    check(0.02 < fd.mean() < 1.0 and np.abs(params[:, :3]).max() > 0.05, f"typical motion, mean FD {fd.mean()}")
    return params


def check_moved_data(moving, still):
    """Each volume of the moving run is the still run's volume moved by its pose."""
    _, rows, sidecar = motion_truth(moving)
    params = check_truth_table(*motion_truth(moving))
    moved, affine = bold(moving)
    rest, rest_affine = bold(still)
    check(np.array_equal(affine, rest_affine), "the affines differ")
    centre = np.array(sidecar["RotationCentre"])
    check(np.allclose(centre, affine[:3, :3] @ ((np.array(rest.shape[:3]) - 1) / 2) + affine[:3, 3]),
          f"rotation centre {centre} is not the grid's centre")
    scale = np.abs(rest).max()
    worst = 0.0
    for t in range(rest.shape[3]):
        # moved(x) = rest(P^-1 x): in voxels, A^-1 P^-1 A.
        to_source = np.linalg.inv(affine) @ np.linalg.inv(pose_matrix(params[t], centre)) @ affine
        expected = ndimage.affine_transform(rest[..., t], to_source[:3, :3], to_source[:3, 3], order=3,
                                            mode="mirror")
        worst = max(worst, np.abs(expected - moved[..., t]).max() / scale)
    check(worst < 1e-3, f"the moved data miss scipy's resampling by {worst} of their range")
    check(np.abs(moved - rest).max() > 0.01 * scale, "the head did not move")


def realigned_errors(folder):
    """nipy's estimate against the truth, both relative to the first volume: per
    volume the distance between where each takes the grid's centre (mm) and the
    angle between their rotations (degrees)."""
    from nipy import load_image
    from nipy.algorithms.registration import Realign4d
    _, _, sidecar = motion_truth(folder)
    params = np.array([[float(v) for v in row[:6]] for row in motion_truth(folder)[1]])
    centre = np.array(sidecar["RotationCentre"])
    path = os.path.join(folder, "bids", "sub-1", "func", "sub-1_task-WholeBrain_bold.nii")
    realign = Realign4d(load_image(path), tr=2.0)
    # Every third voxel (speedup 3) keeps the estimate within a few hundredths of
    # a millimetre here at a fifth of the full grid's time.
    realign.estimate(loops=5, speedup=3, refscan=0)
    estimated = [t.as_affine() for t in realign._transforms[0]]
    first = np.linalg.inv(estimated[0])
    shifts, angles = [], []
    for t, transform in enumerate(estimated):
        found = transform @ first
        truth = pose_matrix(params[t], centre)
        shifts.append(np.linalg.norm(found[:3, :3] @ centre + found[:3, 3] - truth[:3, :3] @ centre - truth[:3, 3]))
        difference = found[:3, :3] @ truth[:3, :3].T
        angles.append(np.degrees(np.arccos(np.clip((np.trace(difference) - 1) / 2, -1, 1))))
    return np.array(shifts), np.array(angles), params


def main():
    still, _ = run("still", 0, "--anatomy")
    moving, _ = run("moving", 0, "--anatomy", "--motion", "typical", "--seed", "11", "--truth")
    check(os.path.isfile(os.path.join(moving, "native", "S1_G1_WholeBrain_truth_motion.tsv")),
          "no native motion truth beside the other truth files")
    check_moved_data(moving, still)

    noisy, _ = run("noisy", 1.5, "--anatomy", "--motion", "typical", "--seed", "11")
    shifts, angles, params = realigned_errors(noisy)
    rms_mm, rms_deg = np.sqrt((shifts ** 2).mean()), np.sqrt((angles ** 2).mean())
    print(f"realignment against the truth: RMS {rms_mm:.4f} mm, {rms_deg:.4f} degrees; worst {shifts.max():.4f} mm, "
          f"{angles.max():.4f} degrees; truth's largest translation {np.abs(params[:, :3]).max():.3f} mm")
    check(rms_mm < 0.1 and rms_deg < 0.1, f"realignment misses the truth: RMS {rms_mm} mm, {rms_deg} degrees")

    refused, done = run("refused", 0, "--motion", "typical", status=2)
    check("--anatomy" in done.stderr and not os.path.exists(os.path.join(refused, "native")) and
          not os.path.exists(os.path.join(refused, "bids")), f"--motion alone: {done.stderr}")

    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)


main()
