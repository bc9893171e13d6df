"""The run record: every run leaves cohortix-run.json in its native folder and in
its dataset's code/, the same record in both, with every field of its schema; its
checksums are those xxhash (as xxh128sum) computes of the files on disk, and it lists exactly
the files the run wrote. `cohortix rerun` makes the run again from the record
alone (noise, replicates, exports) byte for byte, warns when another version made
the record and names a file that does not match; `report RUN` reads the control
file and every recorded value from it, on native files and datasets alike;
an analysis among a dataset's derivatives names its generator; `power` keeps a
record beside its tables and takes a run's study, noise and
seed from its record; a refused run keeps none."""
import json
import os
import pathlib
import pty
import shutil
import subprocess

import xxhash

COHORTIX = os.environ["COHORTIX"]
PLUGIN = os.environ["COHORTIX_PLUGIN"]
SOURCE = pathlib.Path(os.environ["COHORTIX_SOURCE_DIR"])
TMP = pathlib.Path(os.environ["COHORTIX_TEST_TMP"])
STUDY = SOURCE / "examples" / "block-design.cxd"
PROFILE = SOURCE / "examples" / "noise" / "white-1percent.toml"
RECORD = "cohortix-run.json"
PAGE = "page.html"  # the run's --report, which names its folder: no rerun makes it again
FIELDS = ["CohortixRunRecord", "Command", "Cohortix", "Plugin", "CommandLine", "WorkingDirectory",
          "ControlFile", "Profiles", "Seeds", "Replicate", "Platform", "Started", "Ended", "Stages",
          "ExitStatus", "Outputs", "Files"]


def cohortix(*args, status=0):
    done = subprocess.run([COHORTIX, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == status, (args, done.returncode, done.stderr)
    return done


def checksum(path):
    return xxhash.xxh3_128_hexdigest(path.read_bytes())


def files_under(folder, skip=()):
    return {p.relative_to(folder).as_posix() for p in folder.rglob("*")
            if p.is_file() and p.relative_to(folder).as_posix() not in skip}


def check_record(record, outputs, control, profile=None):
    assert list(record) == FIELDS, list(record)
    assert record["CohortixRunRecord"] == 1 and record["Command"] == "run"
    assert record["Cohortix"]["Version"] and record["ExitStatus"] == 0
    assert record["Plugin"]["XXH128"] == checksum(pathlib.Path(PLUGIN)), record["Plugin"]
    assert record["ControlFile"]["Text"] == control.read_text()
    assert record["ControlFile"]["XXH128"] == checksum(control)
    assert [p["Text"] for p in record["Profiles"]] == ([profile.read_text()] if profile else [])
    resolved = {o["Option"]: o for o in record["CommandLine"]["Resolved"]}
    # Every option with its value, the defaults marked as such.
    assert resolved["--tr"] == {"Option": "--tr", "Value": "2", "Given": False}, resolved["--tr"]
    assert resolved["--quiet"]["Value"] is True and resolved["--quiet"]["Given"]
    assert resolved["--nifti"]["Value"] in (True, False)
    assert {"System", "Machine", "Cores"} <= set(record["Platform"])
    assert record["Started"] <= record["Ended"]
    assert [s["Name"] for s in record["Stages"]] == ["preparation", "simulation", "writing", "report"]
    assert {name: str(folder) for name, folder in outputs.items()} == record["Outputs"]
    listed = {}
    for entry in record["Files"]:
        path = outputs[entry["Output"]] / entry["Path"]
        assert entry["Bytes"] == path.stat().st_size and entry["XXH128"] == checksum(path), entry
        listed.setdefault(entry["Output"], set()).add(entry["Path"])
    for name, folder in outputs.items():
        # Exactly the run's files: all of them, and nothing else (the records aside).
        others = {str(f.relative_to(folder)) for n, f in outputs.items() if n != name
                  and f.is_relative_to(folder)}
        on_disk = {p for p in files_under(folder, {RECORD, "code/" + RECORD, PAGE})
                   if not any(p.startswith(o + "/") for o in others)}
        assert listed.get(name, set()) == on_disk, (name, listed.get(name, set()) ^ on_disk)


def read(path):
    return json.loads(path.read_text())


def noisy_run():
    native, bids = TMP / "noisy", TMP / "noisy-bids"
    done = cohortix("run", STUDY, "-o", native, "--bids", bids, "--nifti", "--gzip", "--noise", PROFILE,
                    "--seed", 7, "--truth", "--report", native / PAGE, "--quiet")
    record = read(native / RECORD)
    assert (bids / "code" / RECORD).read_bytes() == (native / RECORD).read_bytes()
    check_record(record, {"native": native, "bids": bids}, STUDY, PROFILE)
    assert record["Seeds"] == {"Noise": 7} and record["Replicate"] == 0
    assert record["CommandLine"]["Arguments"][1:] == ["run", str(STUDY), "-o", str(native), "--bids",
                                                      str(bids), "--nifti", "--gzip", "--noise",
                                                      str(PROFILE), "--seed", "7", "--truth", "--report",
                                                      str(native / PAGE), "--quiet"]
    assert done.stderr == "", done.stderr
    description = read(bids / "dataset_description.json")
    assert description["GeneratedBy"][0] == {"Name": "Cohortix", "Version": record["Cohortix"]["Version"],
                                             "Description": description["GeneratedBy"][0]["Description"]}
    shown = cohortix("info", native / RECORD).stdout
    assert "Command line: " + record["CommandLine"]["Text"] in shown, shown
    assert f'{record["Files"][0]["XXH128"]}  {record["Files"][0]["Bytes"]}' in shown, shown
    return native, bids


def rerun_matches(record_path, again, *options):
    """The rerun says every file matched, and the files are those of the run."""
    done = cohortix("rerun", record_path, "-o", again, *options)
    assert "files of the record made again, byte for byte" in done.stderr, done.stderr
    return done


def check_reruns(native, bids):
    again = TMP / "noisy-again"
    rerun_matches(native / RECORD, again)
    assert any(name.endswith("_truth.json") for name in files_under(again))
    for name in files_under(native, {RECORD, PAGE}):
        assert (again / name).read_bytes() == (native / name).read_bytes(), name
    for name in files_under(bids, {"code/" + RECORD}):
        assert (again / "bids" / name).read_bytes() == (bids / name).read_bytes(), name
    # A replicate's dataset alone, rerun from the dataset's record.
    replicate = TMP / "replicate-bids"
    cohortix("run", STUDY, "--bids", replicate, "--no-native", "--replicate", 1, "--quiet")
    check_record(read(replicate / "code" / RECORD), {"bids": replicate}, STUDY)
    rerun_matches(replicate, TMP / "replicate-again")
    assert files_under(TMP / "replicate-again", {"code/" + RECORD}) == files_under(replicate, {"code/" + RECORD})


def check_mismatch_and_version(native):
    record = read(native / RECORD)
    record["Cohortix"]["Version"] = "0.9"
    victim = next(f for f in record["Files"] if f["Path"].endswith(".vtc"))
    victim["XXH128"] = "0" * 32
    altered = TMP / "altered" / RECORD
    altered.parent.mkdir()
    altered.write_text(json.dumps(record))
    done = cohortix("rerun", altered, "-o", TMP / "altered-again", status=1)
    assert "Cohortix 0.9 made it" in done.stderr, done.stderr
    assert "may differ byte for byte" in done.stderr, done.stderr
    assert f'{victim["Path"]}: differs' in done.stderr, done.stderr
    broken = TMP / "broken" / RECORD
    broken.parent.mkdir()
    broken.write_text(json.dumps({"CohortixRunRecord": 1, "Command": "run"}))
    done = cohortix("rerun", broken, status=1)
    assert "not a run record: no \"Cohortix\"" in done.stderr, done.stderr


def map_names(analysis):
    return sorted(line.split("\t")[0] for line in (analysis / "maps.tsv").read_text().splitlines()[1:])


def check_analysis(native, bids):
    """An analysis among the dataset's derivatives names its generator as BIDS asks;
    the native files' analysis names the groups as the recorded study does, the
    same maps as the dataset's."""
    cohortix("analyze", bids)
    cohortix("analyze", native)
    assert map_names(native / "analysis") == map_names(bids / "derivatives" / "analysis")
    description = read(bids / "derivatives" / "analysis" / "dataset_description.json")
    version = read(bids / "code" / RECORD)["Cohortix"]["Version"]
    assert description["DatasetType"] == "derivative" and description["BIDSVersion"], description
    assert [(g["Name"], g["Version"]) for g in description["GeneratedBy"]] == [("Cohortix", version)]


def check_reports(native, bids):
    for run in (native, bids):
        page = TMP / (run.name + ".html")
        cohortix("report", run, "-o", page)
        html = page.read_text()
        assert "not recorded" not in html, run
        assert "white-1percent.toml" in html and "<td>7</td>" in html, run
        assert "--seed 7" in html and "Made by" in html, run


def check_where_files_went():
    """Without -o, on a terminal, the run says which folder holds its files."""
    folder = TMP / "here"
    folder.mkdir()
    leader, follower = pty.openpty()
    done = subprocess.run([COHORTIX, "run", STUDY], cwd=folder, stdout=subprocess.DEVNULL,
                          stderr=follower, timeout=600)
    os.close(follower)
    said = b""
    while True:
        try:
            chunk = os.read(leader, 65536)
        except OSError:
            break
        if not chunk:
            break
        said += chunk
    os.close(leader)
    assert done.returncode == 0, said
    assert f"cohortix: the files are in {folder} (no -o given: the current folder)".encode() in said, said
    assert (folder / RECORD).exists()


def check_moved_control_file():
    """A report of native files whose control file has since changed reads the
    record's copy, and says so."""
    moved = TMP / "moved.cxd"
    shutil.copy(STUDY, moved)
    cohortix("run", moved, "-o", TMP / "moved", "--quiet")
    moved.write_text("Version: 1\n")
    page = TMP / "moved.html"
    cohortix("report", TMP / "moved", "-o", page)
    assert f"{moved} (as kept in the run&#39;s record)" in page.read_text()


def check_power_and_refusal(native):
    folder = TMP / "power"
    cohortix("power", STUDY, "--subjects", 4, "--replicates", 2, "-o", folder, "--quiet")
    record = read(folder / RECORD)
    assert record["Command"] == "power" and record["Outputs"] == {"power": str(folder)}
    assert {f["Path"]: f["XXH128"] for f in record["Files"]} == \
        {name: checksum(folder / name) for name in ("power.json", "power.tsv")}
    # A run's folder in place of the control file: its study, noise and seed.
    cohortix("power", native, "--subjects", 4, "--replicates", 2, "-o", TMP / "power-of-run", "--quiet")
    record = read(TMP / "power-of-run" / RECORD)
    assert record["ControlFile"]["XXH128"] == checksum(STUDY) and record["Seeds"] == {"Noise": 7}
    assert [p["XXH128"] for p in record["Profiles"]] == [checksum(PROFILE)]
    blocked = TMP / "a-file"
    blocked.write_text("")
    cohortix("run", STUDY, "-o", blocked, "--quiet", status=5)
    assert not (TMP / RECORD).exists() and blocked.read_text() == ""


def main():
    shutil.rmtree(TMP, ignore_errors=True)
    TMP.mkdir(parents=True)
    native, bids = noisy_run()
    check_reruns(native, bids)
    check_mismatch_and_version(native)
    check_analysis(native, bids)
    check_reports(native, bids)
    check_power_and_refusal(native)
    check_where_files_went()
    check_moved_control_file()
    print("run records: written, read back, rerun byte for byte, reported")


if __name__ == "__main__":
    main()
