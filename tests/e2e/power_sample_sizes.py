"""`cohortix power` over several sample sizes, with and without the host's noise:

- a one-group study is simulated once for all its sample sizes, a two-group
  study once per size, and each size's rows are byte for byte those of a power
  run of that size alone (every replicate starts from its own point of the
  generator's cycle, whatever ran before it);
- `--jobs 1, 2, 3` give the same table byte for byte, with and without the
  host's noise;
- `--noise` changes the estimates, leaves the analytic column empty (it models
  the plug-in's white noise only), and the same `--seed` gives the same table;
  it takes the place of the plug-in's noise (a louder NoisePercent changes
  nothing) unless the profile adds to it;
- `--correction fwe` and `cluster` threshold each replicate's maps by
  permutation: with fewer relabellings than 1 / alpha nothing can be found, with
  enough the regions are;
- `--truth-regions`: with regions that do not move, the regions received are the
  regions asked and the tables agree; with a jitter as large as the box the asked
  spheres leave no voxel that no subject's region reaches, while the regions the
  subjects received do, and there the uncorrected false-positive rate is alpha
  within its sampling error;
- `--seed` without `--noise`, a cluster option without `--correction cluster`
  and a profile that is not one are refused; so is, before any simulation, an
  analysis whose threads cannot fit in memory."""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.environ["COHORTIX_SOURCE_DIR"], "tests", "support"))
from native_files import fresh_folder, read_tsv

SOURCE = os.environ["COHORTIX_SOURCE_DIR"]
PROFILE = os.path.join(SOURCE, "examples", "noise", "3T-TR2-3mm.toml")


def study(folder, groups):
    between = "1" if groups == 2 else "0"
    group_levels = 'Factor: "Age"\nLevels: 2\nLevel: 0 0 0 "Young"\nLevel: 0 0 0 "Old"\n' if groups == 2 else ""
    effects = "0.8 0.1\n0.4 0.1" if groups == 2 else "0.8 0.1"
    path = os.path.join(folder, f"groups{groups}.cxd")
    open(path, "w").write(f"""Version: 1
WithinFactors: 1
BetweenFactors: {between}
Reserved: 0
Name: "Sizes"
Factor: "Stimulus"
Levels: 2
Level: 230 80 40 "Faces"
Level: 40 110 220 "Objects"
{group_levels}Balanced: Y
Rest: Y
RestVolumes: 3
SubjectsPerGroup: 2
Reserved: 0
TrialVolumes: 6
TrialsPerCondition: 4
PreVolumes: 6
PostVolumes: 6
BoxZ: 119 137
BoxX: 119 137
BoxY: 119 137
Resolution: 3
HeaderCode: 1
MeanBaseline: 1000
BaselineSDSubjects: 50
BaselineSDVoxels: 20
NoisePercent: 2.0
Regions: 1
Center: 0 0 0
Radius: 1.5
CenterSD: 0
EffectRows: G
SubjectSD: 0.5
Flag: P
Region1: {effects}
""")
    return path


def power(control, output, *options, status=0):
    result = subprocess.run([os.environ["COHORTIX"], "power", control, "-o", output, "-q", *options],
                            capture_output=True, text=True)
    assert result.returncode == status, (options, result.returncode, result.stderr)
    return result


def table(folder):
    return open(os.path.join(folder, "power.tsv")).read().splitlines()


def rows_of(lines, subjects):
    return [line for line in lines[1:] if line.split("\t")[0] == str(subjects)]


def check_sizes_alone_and_together(base, groups):
    control = study(base, groups)
    together = os.path.join(base, f"together{groups}")
    power(control, together, "--subjects", "3,5", "--replicates", "4")
    lines = table(together)
    for subjects in (3, 5):
        alone = os.path.join(base, f"alone{groups}-{subjects}")
        power(control, alone, "--subjects", str(subjects), "--replicates", "4")
        assert rows_of(lines, subjects) == rows_of(table(alone), subjects), (groups, subjects)
        assert rows_of(lines, subjects), (groups, subjects)
    # Groups go by the control file's level names, as in the analysis of a run.
    scopes = {line.split("\t")[1] for line in lines[1:]}
    assert scopes == ({"all", "Young", "Old", "YoungvsOld"} if groups == 2 else {"all"}), scopes
    return control, lines


def check_jobs(base, control, *options):
    tables = []
    for jobs in ("1", "2", "3"):
        folder = os.path.join(base, f"jobs{jobs}-{len(os.listdir(base))}")
        power(control, folder, "--subjects", "3,5", "--replicates", "7", "--jobs", jobs, *options)
        tables.append((open(os.path.join(folder, "power.tsv")).read(), open(os.path.join(folder, "power.json")).read()))
    assert tables[0] == tables[1] == tables[2], (control, options)


def check_noise(base, control, plain):
    first, second, other = (os.path.join(base, name) for name in ("noise1", "noise2", "noise3"))
    for folder, seed in ((first, "7"), (second, "7"), (other, "8")):
        power(control, folder, "--subjects", "3,5", "--replicates", "4", "--noise", PROFILE, "--seed", seed)
    assert table(first) == table(second), "the same seed gave another table"
    assert table(first) != table(other) and table(first) != plain, "the noise changed nothing"
    header, rows = read_tsv(os.path.join(first, "power.tsv"))
    analytic = header.index("analytic")
    assert all(row[analytic] == "NA" for row in rows), "an analytic value with the host's noise"
    header, rows = read_tsv(os.path.join(base, "together1", "power.tsv"))
    assert any(row[analytic] != "NA" for row in rows), "no analytic value without the host's noise"
    # The host's noise takes the place of the plug-in's: the study with another
    # NoisePercent (its draws otherwise the same) gives the same table; a profile
    # that adds to the plug-in's noise does not.
    louder = control.replace(".cxd", "-louder.cxd")
    open(louder, "w").write(open(control).read().replace("NoisePercent: 2.0", "NoisePercent: 5.0"))
    replaced = os.path.join(base, "noise-louder")
    power(louder, replaced, "--subjects", "3,5", "--replicates", "4", "--noise", PROFILE, "--seed", "7")
    assert table(replaced) == table(first), "the plug-in's noise reached the analysis through the host's"
    adding = os.path.join(base, "adding.toml")
    open(adding, "w").write('plugin_noise = "add"\n' + open(PROFILE).read())
    for study_file, name in ((control, "added"), (louder, "added-louder")):
        power(study_file, os.path.join(base, name), "--subjects", "3,5", "--replicates", "4", "--noise", adding,
              "--seed", "7")
    assert table(os.path.join(base, "added")) != table(os.path.join(base, "added-louder")), \
        "an added noise hid the plug-in's"


def check_family_wise(base, control):
    for correction in ("fwe", "cluster"):
        detection = {}
        for permutations in ("1", "1000"):
            folder = os.path.join(base, correction + permutations)
            forming = ["--cluster-p", "0.05"] if correction == "cluster" else []
            power(control, folder, "--subjects", "5", "--replicates", "4", "--correction", correction,
                  "--permutations", permutations, "--alpha", "0.5", "--tail", "upper", *forming)
            header, rows = read_tsv(os.path.join(folder, "power.tsv"))
            measure, estimate = header.index("measure"), header.index("estimate")
            detection[permutations] = [float(row[estimate]) for row in rows if row[measure] == "detection"]
            # No closed form for a threshold the relabelled maps set.
            assert all(row[header.index("analytic")] == "NA" for row in rows if row[measure] != "roi_power"), rows
        # 1 relabelling < 1 / alpha: none can be significant; all 32 sign flips of 5
        # subjects can (any other correction would find the regions at this alpha).
        assert detection["1"] and max(detection["1"]) == 0, (correction, detection)
        assert max(detection["1000"]) > 0, (correction, detection)


def estimates(folder, measure):
    header, rows = read_tsv(os.path.join(folder, "power.tsv"))
    column = {name: header.index(name) for name in ("measure", "estimate", "replicates")}
    return [(row[column["estimate"]], int(row[column["replicates"]]))
            for row in rows if row[column["measure"]] == measure]


def check_truth_regions(base, control, plain):
    asked = os.path.join(base, "asked")
    power(control, asked, "--subjects", "3,5", "--replicates", "4", "--truth-regions", "asked")
    assert table(asked) == plain, "regions that do not move scored otherwise when asked"
    text = open(control).read()
    for old, new in (("CenterSD: 0", "CenterSD: 1.5"), ("BoxZ: 119 137", "BoxZ: 110 146"),
                     ("BoxX: 119 137", "BoxX: 110 146"), ("BoxY: 119 137", "BoxY: 110 146")):
        assert old in text, old
        text = text.replace(old, new)
    moving = os.path.join(base, "moving.cxd")
    open(moving, "w").write(text)
    replicates = 30
    for regions in ("asked", "received"):
        power(moving, os.path.join(base, "moving-" + regions), "--subjects", "6",
              "--replicates", str(replicates), "--truth-regions", regions, "--correction", "none")
    # Radius 1.5 plus four centre SDs reaches past the 12-voxel box: nothing to count.
    assert all(n == 0 for _, n in estimates(os.path.join(base, "moving-asked"), "false_positive_rate"))
    rates = estimates(os.path.join(base, "moving-received"), "false_positive_rate")
    assert rates and all(n == replicates for _, n in rates), rates
    # Independent voxels, about 12^3 minus the regions' few dozen: the rate's SE.
    standard_error = (0.05 * 0.95 / (1600 * replicates)) ** 0.5
    for estimate, _ in rates:
        assert abs(float(estimate) - 0.05) < 5 * standard_error, (estimate, standard_error)


def check_refusals(base, control):
    refused = power(control, os.path.join(base, "r1"), "--subjects", "3", "--seed", "2", status=2)
    assert "--seed requires --noise" in refused.stderr, refused.stderr
    # An option of a correction not asked for would be ignored without a word.
    refused = power(control, os.path.join(base, "r3"), "--subjects", "3", "--correction", "fwe",
                    "--cluster-p", "0.01", status=2)
    assert refused.stderr == "cohortix: --cluster-p: applies only with --correction cluster\n", refused.stderr
    wrong = os.path.join(base, "wrong.toml")
    open(wrong, "w").write("[target]\ntsnr = -3\n")
    refused = power(control, os.path.join(base, "r2"), "--subjects", "3", "--noise", wrong, status=1)
    assert refused.stderr.startswith(f"cohortix: {wrong}:2:"), refused.stderr
    assert len(refused.stderr.splitlines()) == 1, refused.stderr
    assert not os.path.exists(os.path.join(base, "r2", "power.tsv"))
    # A folder holding an earlier power analysis is refused before any simulation,
    # unless --force; an output that is a file is refused up front.
    earlier = os.path.join(base, "together1")
    before = table(earlier)
    refused = power(control, earlier, "--subjects", "3", "--replicates", "1000", status=5)
    assert "holds a power analysis already" in refused.stderr and table(earlier) == before, refused.stderr
    power(control, earlier, "--subjects", "4", "--replicates", "2", "--force")
    assert {line.split("\t")[0] for line in table(earlier)[1:]} == {"4"}, "the earlier table stayed"
    assert json.load(open(os.path.join(earlier, "power.json")))[0]["subjects"] == 4, "the JSON is another run's"
    refused = power(control, wrong, "--subjects", "3", "--replicates", "1000", status=5)
    assert wrong in refused.stderr, refused.stderr
    # Every thread holds a subject and its replicate: thousands of threads on a
    # whole-box study are refused before any simulation, with the figure.
    large = os.path.join(base, "large.cxd")
    text = open(control).read()
    for old, new in (("BoxZ: 119 137", "BoxZ: 0 255"), ("BoxX: 119 137", "BoxX: 0 255"),
                     ("BoxY: 119 137", "BoxY: 0 255")):
        text = text.replace(old, new)
    open(large, "w").write(text)
    refused = power(large, os.path.join(base, "huge"), "--subjects", "3,5", "--jobs", "4096", status=5)
    assert "the power analysis needs about" in refused.stderr and "GB of memory" in refused.stderr, refused.stderr
    assert not os.path.exists(os.path.join(base, "huge")), "a refused analysis made its folder"


def main():
    base = fresh_folder("power_sample_sizes")
    control, plain = check_sizes_alone_and_together(base, 1)
    two, _ = check_sizes_alone_and_together(base, 2)
    check_jobs(base, control)
    check_jobs(base, two)
    check_jobs(base, two, "--noise", PROFILE, "--seed", "3")
    check_noise(base, control, plain)
    check_truth_regions(base, control, plain)
    check_family_wise(base, control)
    check_refusals(base, control)
    print("sample sizes share one run where they can; the host's noise reaches the analysis")


main()
