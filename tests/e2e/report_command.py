"""`cohortix report RUN`: one self-contained page, the same bytes every time,
refusals that say what is wrong, and figures that show the run's own data:
on the noise-free example the data at each region's centre (found independently
from the Talairach centre) are exactly the expected response, and the label map
drawn for each region is the set of voxels whose signal varies; on a noisy
example the temporal SNR the report prints is that of the .vtc as numpy
computes it. With an analysis and a power table beside the run, the results
section scores each map over all subjects as numpy does against the regions'
spheres, plots the power table's own estimates (refusing another study's), and refuses results named on the
command line that are missing or malformed, naming the file. A run with head motion gets a section that plots
each subject's six parameters and framewise displacement and lists the volumes above --fd-threshold, those
the motion truth's table has; a run without motion has no such section."""
import base64
import os
import re
import shutil
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "report_support"))
sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import Vtc, example, fresh_folder, small_whole_brain  # noqa: E402
from png_pixels import decode  # noqa: E402
from report_runs import SECTIONS, add_results, report, simulate  # noqa: E402
import nibabel as nib  # noqa: E402

MAX_BYTES = 5 * 1024 * 1024


def control_values(path, label):
    """Every value line of a control file that starts with label, as numbers."""
    return [[float(v) for v in line.split(":", 1)[1].split()]
            for line in open(path) if line.startswith(label + ":")]


def round_half_up(x):
    return int(np.floor(np.float32(x) + np.float32(0.5)))


def centre_voxels(cxd):
    """Each region's VTC voxel, from its Talairach centre, as docs/formats.md says."""
    (x_start, _), (y_start, _), (z_start, _) = (control_values(cxd, b)[0] for b in ("BoxX", "BoxY", "BoxZ"))
    resolution = control_values(cxd, "Resolution")[0][0]
    voxels = []
    for tal_x, tal_y, tal_z in control_values(cxd, "Center"):
        voxels.append((round_half_up(np.float32((128 - tal_y) - x_start) / np.float32(resolution)),
                       round_half_up(np.float32((128 - tal_z) - y_start) / np.float32(resolution)),
                       round_half_up(np.float32((128 - tal_x) - z_start) / np.float32(resolution))))
    return voxels


def section(html, name):
    match = re.search(r'<section id="%s".*?</section>' % name, html, re.S)
    assert match, f"no section {name}"
    return match.group(0)


def polyline(figure, label):
    match = re.search(r'<polyline class="series" data-label="%s" points="([^"]*)"' % label, figure)
    return np.array([[float(v) for v in p.split(",")] for p in match.group(1).split()])


def check_refusals(out, native):
    # A folder of native files from before runs kept their record needs --control.
    record = os.path.join(native, "cohortix-run.json")
    os.rename(record, record + ".aside")
    try:
        done = report(native, os.path.join(out, "x.html"))
    finally:
        os.rename(record + ".aside", record)
    assert done.returncode == 1 and "--control" in done.stderr, done.stderr
    done = report(native, os.path.join(out, "x.html"), "--control", example("block-design"))
    assert done.returncode == 1 and "holds no subject" in done.stderr, done.stderr
    other = os.path.join(out, "wider-box.cxd")
    with open(other, "w") as edited:
        edited.write(open(example("faces-and-places")).read().replace("BoxZ: 70 186", "BoxZ: 70 189"))
    done = report(native, os.path.join(out, "x.html"), "--control", other)
    assert done.returncode == 1 and "does not belong to the study" in done.stderr, done.stderr
    done = report(native, os.path.join(out, "no-such-folder", "x.html"), "--control",
                  example("faces-and-places"))
    assert done.returncode == 4 and "cannot write" in done.stderr, done.stderr
    assert not os.path.exists(os.path.join(out, "x.html")), "a refused report left a file"


def check_self_contained(html, path):
    assert os.path.getsize(path) < MAX_BYTES, os.path.getsize(path)
    for section_id in SECTIONS:
        assert f'<section id="{section_id}"' in html, section_id
    references = re.findall(r'\s(?:src|href)="([^"]*)"', html)
    outside = [r for r in references if not r.startswith(("#", "data:image/png;base64,"))]
    assert not outside, outside[:5]
    assert "<script" not in html and "url(http" not in html


def check_noise_free(out):
    native = os.path.join(out, "noise-free")
    simulate("noise-free", native)
    page = os.path.join(out, "noise-free.html")
    done = report(native, page, "--control", example("noise-free"))
    assert done.returncode == 0, done.stderr
    html = open(page, encoding="utf-8").read()
    vtc = Vtc(os.path.join(native, "S1_G1_NoiseFree.vtc"))
    centres = centre_voxels(example("noise-free"))
    data = section(html, "data")
    figures = re.findall(r'<figure class="course" data-voxel="(\d+) (\d+) (\d+)">(.*?)</figure>', data, re.S)
    shown = [tuple(int(v) for v in f[:3]) for f in figures]
    assert shown[:len(centres)] == centres, (shown, centres)
    for (x, y, z, figure), is_region in zip(figures, [True] * len(centres) + [False]):
        measured, expected = polyline(figure, "data"), polyline(figure, "expected")
        trace = vtc.data[int(z), int(y), int(x)].astype(np.float64)
        # SVG y grows downwards.
        assert trace.std() == 0 or np.corrcoef(-measured[:, 1], trace)[0, 1] > 0.9999, (x, y, z)
        assert np.abs(measured - expected).max() <= 0.15, f"voxel {x} {y} {z}: data leave the expected response"
        assert (trace.std() > 0) == is_region, (x, y, z, trace.std())
    # The label map drawn for region 1 (its axial slice, the first image of the
    # truth) is where the signal varies: anterior at the top, left on the left.
    truth = section(html, "truth")
    png = base64.b64decode(re.search(r'href="data:image/png;base64,([^"]*)"', truth).group(1))
    drawn = np.any(decode(png)[:, :, :3] != 236, axis=2)
    varies = vtc.data.std(axis=3) > 0                          # [z, y, x]
    axial = varies[:, centres[0][1], :]                        # [z, x]
    assert drawn.shape == (axial.shape[1], axial.shape[0]) and drawn.any(), drawn.shape
    assert np.array_equal(drawn, axial.T[:, ::-1]), "the label map is not where the signal is"


def check_snr_numbers(html, native):
    vtc = Vtc(os.path.join(native, "S1_G1_FacesPlaces.vtc"))
    data = vtc.data.astype(np.float64)
    snr = data.mean(axis=3) / data.std(axis=3, ddof=1)
    inside = np.zeros(snr.shape, dtype=bool)
    radii = [r[0] for r in control_values(example("faces-and-places"), "Radius")]
    zz, yy, xx = np.indices(snr.shape)
    for (cx, cy, cz), radius in zip(centre_voxels(example("faces-and-places")), radii):
        inside |= np.sqrt((xx - cx) ** 2 + (yy - cy) ** 2 + (zz - cz) ** 2) <= radius
    row = re.search(r"<th scope=\"row\">outside every region</th><td>(\d+)</td><td>([\d.]+)</td>",
                    section(html, "data"))
    assert int(row.group(1)) == int((~inside).sum()), (row.group(1), (~inside).sum())
    assert abs(float(row.group(2)) - np.median(snr[~inside])) <= 0.051, (row.group(2), np.median(snr[~inside]))


def sphere_labels(cxd, shape):
    """Region r as r + 1: the voxels within its radius of its centre voxel, clipped
    to the box, a later region taking a voxel two share; [x, y, z] as NIfTI holds it."""
    radii = [r[0] for r in control_values(cxd, "Radius")]
    x, y, z = np.indices(shape)
    labels = np.zeros(shape, dtype=np.int32)
    for region, ((cx, cy, cz), radius) in enumerate(zip(centre_voxels(cxd), radii)):
        labels[(x - cx) ** 2 + (y - cy) ** 2 + (z - cz) ** 2 <= radius ** 2] = region + 1
    return labels


def table_rows(html, caption_start):
    table = re.search(r"<table[^>]*><caption>%s.*?</table>" % re.escape(caption_start), html, re.S)
    assert table, f"no table {caption_start}"
    return [re.findall(r"<t[hd][^>]*>(.*?)</t[hd]>", row)
            for row in re.findall(r"<tr>(.*?)</tr>", table.group(0).split("<tbody>")[1])]


def check_scores(results, analysis):
    rows = {row[0]: row for row in table_rows(results, "Scores of the thresholded maps")}
    maps = [line.split("\t") for line in open(os.path.join(analysis, "maps.tsv")).read().splitlines()[1:]]
    over_all = [m[0] for m in maps if m[2] == "all"]
    assert sorted(rows) == sorted(over_all[:8]) and rows, (sorted(rows), over_all)
    for name, row in rows.items():
        values = np.asarray(nib.load(os.path.join(analysis, "group", name + "_thresholded.nii.gz")).dataobj)
        labels = sphere_labels(example("region-of-interest"), values.shape)
        detected, effect = values != 0, labels > 0
        tp, fp = np.sum(detected & effect), np.sum(detected & ~effect)
        fn, tn = np.sum(~detected & effect), np.sum(~detected & ~effect)
        expected = [tp / (tp + fn), tn / (tn + fp), fp / (tp + fp) if tp + fp else 0.0,
                    2 * tp / (2 * tp + fp + fn)]
        assert np.allclose([float(v) for v in row[1:5]], expected, atol=0.0005), (name, row, expected)
        found = [f"Region {r}: {np.sum(detected & (labels == r))}/{np.sum(labels == r)}" for r in (1, 2)]
        assert all(f in row[5] for f in found), (name, row[5], found)
    assert results.count('<figure class="group-map"') == len(rows)
    assert results.count('class="outline"') == 3 * 2 * len(rows), "every slice shows the truth's outline"
    check_outline(results, labels)


def check_outline(results, labels):
    """The first map's first slice (axial, through region 1's centre) outlines the
    truth's voxels there: each edge between a region voxel and any other pixel, in
    the slice's own orientation (rows x, columns z from the right)."""
    figure = re.search(r'<figure class="group-map".*?</svg>', results, re.S).group(0)
    width = float(re.search(r'<image x="56" y="24" width="([\d.]+)"', figure).group(1))
    flags = labels[:, centre_voxels(example("region-of-interest"))[0][1], ::-1] > 0    # [row, column]
    scale = width / flags.shape[1]
    padded = np.pad(flags, 1)
    expected = {("h", c, r) for r in range(flags.shape[0] + 1) for c in range(flags.shape[1])
                if padded[r + 1, c + 1] != padded[r, c + 1]}
    expected |= {("v", c, r) for r in range(flags.shape[0]) for c in range(flags.shape[1] + 1)
                 if padded[r + 1, c + 1] != padded[r + 1, c]}
    path = re.search(r'<path class="outline" d="([^"]*)"', figure).group(1)
    drawn = {(kind, round((float(x) - 56) / scale), round((float(y) - 24) / scale))
             for x, y, kind in re.findall(r"M([\d.]+) ([\d.]+)([hv])", path)}
    assert expected and drawn == expected, (len(drawn), len(expected), sorted(drawn ^ expected)[:5])


def check_power_curves(results, power_tsv):
    columns, *lines = [line.split("\t") for line in open(power_tsv).read().splitlines()]
    power = [dict(zip(columns, line)) for line in lines]
    effects = list(dict.fromkeys(r["effect"] for r in power if r["scope"] == "all"))
    figures = re.findall(r'<figure class="power-curve" data-effect="([^"]*)">(.*?)</figure>', results, re.S)
    assert [f[0] for f in figures] == effects, (figures and [f[0] for f in figures], effects)
    effect, figure = figures[0]
    for region in ("Region1", "Region2"):
        for measure in ("roi_power", "sensitivity"):
            expected = [float(r["estimate"]) for r in power if r["scope"] == "all" and r["effect"] == effect
                        and r["region"] == region and r["measure"] == measure]
            drawn = polyline(figure, f"{region} {measure}")
            # The plot's y axis: power 0 at 258 px, 1 at 28 px.
            assert np.allclose((258 - drawn[:, 1]) / 230, expected, atol=0.001), (region, measure, drawn, expected)
    assert figure.count('class="interval"') == 4 * len({r["subjects"] for r in power}), "one error bar per point"
    assert len(table_rows(results, "The power table")) == len(power)


def check_cluster_tables(native, out):
    """A cluster-level analysis: each drawn map lists its largest clusters as its
    cluster table does."""
    analysis = os.path.join(out, "cluster-analysis")
    done = subprocess.run([os.environ["COHORTIX"], "analyze", native, "-o", analysis, "--correction", "cluster",
                           "--cluster-p", "0.01"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    page = os.path.join(out, "clusters.html")
    done = report(native, page, "--control", example("region-of-interest"), "--analysis", analysis)
    assert done.returncode == 0 and done.stderr == "", done.stderr
    results = section(open(page, encoding="utf-8").read(), "results")
    drawn = re.findall(r"<h4>([^<]*)</h4>", results)
    assert drawn, "no map drawn"
    for name in drawn:
        clusters = [line.split("\t") for line in
                    open(os.path.join(analysis, "group", name + "_clusters.tsv")).read().splitlines()[1:]]
        if not clusters:
            assert f"Clusters of {name} " not in results, name
            continue
        rows = table_rows(results, f"Clusters of {name} ")
        assert [row[2] for row in rows] == [c[2] for c in clusters[:10]], (name, rows, clusters[:10])
        assert [row[4] for row in rows] == [c[4] for c in clusters[:10]], (name, rows)


def check_results(out):
    native = os.path.join(out, "region-of-interest")
    simulate("region-of-interest", native)
    add_results("region-of-interest", native)
    first, second = os.path.join(out, "results.html"), os.path.join(out, "results-again.html")
    for path in (first, second):
        done = report(native, path, "--control", example("region-of-interest"))
        assert done.returncode == 0 and done.stderr == "", done.stderr
    assert open(first, "rb").read() == open(second, "rb").read(), "two reports with results differ"
    html = open(first, encoding="utf-8").read()
    check_self_contained(html, first)
    assert 'id="motion"' not in html, "a run without motion has a motion section"
    results = section(html, "results")
    check_scores(results, os.path.join(native, "analysis"))
    check_power_curves(results, os.path.join(native, "power", "power.tsv"))
    check_cluster_tables(native, out)
    # Results named on the command line must be there and readable.
    done = report(native, os.path.join(out, "x.html"), "--control", example("region-of-interest"),
                  "--analysis", os.path.join(out, "no-analysis"))
    assert done.returncode == 1 and os.path.join(out, "no-analysis", "maps.tsv") in done.stderr, done.stderr
    broken = os.path.join(out, "broken-power.tsv")
    with open(broken, "w") as table:
        table.write(open(os.path.join(native, "power", "power.tsv")).read().replace("\t0.", "\tmany ", 1))
    done = report(native, os.path.join(out, "x.html"), "--control", example("region-of-interest"),
                  "--power", broken)
    assert done.returncode == 1 and broken + ":2: expected a number" in done.stderr, done.stderr
    assert not os.path.exists(os.path.join(out, "x.html")), "a refused report left a file"
    # Another study's power table is refused, not drawn.
    own = open(os.path.join(native, "power", "power.tsv")).read()
    for name, text, message in (
            ("more-regions", own.replace("\tRegion2\t", "\tRegion3\t"), "it names Region3, the study has 2 regions"),
            ("other-cells", own.replace("Faces", "Houses").replace("Objects", "Scenes"),
             "none of its effects is a cell of the study (Faces, Objects)")):
        other = os.path.join(out, name + ".tsv")
        open(other, "w").write(text)
        done = report(native, os.path.join(out, "x.html"), "--control", example("region-of-interest"),
                      "--power", other)
        assert done.returncode == 1 and f"{other} is the power table of another study: {message}" in done.stderr, \
            done.stderr
    assert not os.path.exists(os.path.join(out, "x.html")), "a refused report left a file"
    shutil.rmtree(native)


def check_motion(out):
    text = small_whole_brain()
    control, native, page = (os.path.join(out, name) for name in ("moving.cxd", "moving", "moving.html"))
    open(control, "w", encoding="utf-8").write(text)
    subprocess.run([os.environ["COHORTIX"], "run", control, "-o", native, "-q", "--anatomy", "--motion", "high",
                    "--seed", "3", "--truth"], check=True, capture_output=True)
    done = report(native, page, "--fd-threshold", "0.3")
    assert done.returncode == 0, done.stderr
    motion = section(open(page, encoding="utf-8").read(), "motion")
    rows = table_rows(motion, "Head motion per subject, FD threshold 0.3 mm")
    assert [row[0] for row in rows] == ["S1_G1_WholeBrain", "S2_G2_WholeBrain"], rows
    for row in rows:
        lines = open(os.path.join(native, row[0] + "_truth_motion.tsv")).read().split("\n")[2:-1]
        fd = np.array([float(line.split("\t")[6]) for line in lines])
        flagged = [str(v + 2) for v in np.flatnonzero(fd > 0.3)]
        assert flagged and row[3] == str(len(flagged)) and row[4].split() == flagged, (row, flagged)
        figure = re.search(r'<figure class="motion" data-subject="%s">.*?</figure>' % row[0], motion, re.S).group(0)
        assert figure.count("<svg") == 3 and len(polyline(figure, "FD")) == len(fd), row[0]
    shutil.rmtree(native)


def main():
    out = fresh_folder("report_command")
    native = os.path.join(out, "faces-and-places")
    simulate("faces-and-places", native)
    first, second = os.path.join(out, "first.html"), os.path.join(out, "second.html")
    for path, environment in ((first, {}), (second, {"LC_ALL": "C.UTF-8", "LANG": "de_DE.UTF-8"})):
        done = subprocess.run([os.environ["COHORTIX"], "report", native, "-o", path, "--control",
                               example("faces-and-places")], capture_output=True, text=True,
                              env={**os.environ, **environment})
        assert done.returncode == 0 and done.stdout == "" and done.stderr == "", (done.stdout, done.stderr)
    assert open(first, "rb").read() == open(second, "rb").read(), "two reports of one run differ"
    html = open(first, encoding="utf-8").read()
    check_self_contained(html, first)
    assert 'id="motion"' not in html, "a run without motion has a motion section"
    check_snr_numbers(html, native)
    check_refusals(out, native)
    check_results(out)
    check_noise_free(out)
    check_motion(out)
    shutil.rmtree(native)


if __name__ == "__main__":
    main()
