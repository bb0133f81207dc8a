#!/usr/bin/env python3
"""Renders docs/RELIABILITY.md from the logs the reliability scripts keep:

  fuzz/results.tsv               one line per fuzz run (tools/fuzz/run-fuzz.sh)
  fuzz/findings.tsv              every fault a fuzz target's checks turned up, with its fix
  docs/reliability/faults.tsv    the fault-injection table (written by test_faultinjection)
  docs/reliability/faultruns.tsv when and at which commit each part of that table last ran
  docs/reliability/testruns.tsv  one line per suite run, default and asan (tools/run-tests.sh)
  docs/reliability/seedruns*.tsv one line per seeded fault of a seeding run (tools/reliability/seed-faults.sh)

Nothing in the report is typed by hand: run this script (the other scripts call it) after
new results and commit the report with its logs.
"""
import csv
import os
import sys
from collections import OrderedDict

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def read_tsv(rel):
    path = os.path.join(ROOT, rel)
    if not os.path.exists(path):
        return []
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def table(header, rows):
    out = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for r in rows:
        out.append("| " + " | ".join(str(c).replace("|", "\\|") for c in r) + " |")
    return "\n".join(out)


def fuzz_section(runs, findings):
    lines = ["## Fuzzed readers", ""]
    if not runs:
        return lines + ["No fuzz run logged yet (`bash tools/fuzz/run-fuzz.sh all SECONDS`).", ""]
    totals = OrderedDict()
    for r in runs:
        t = totals.setdefault(r["target"], {"runs": 0, "seconds": 0, "executions": 0, "crashes": 0})
        t["runs"] += 1
        t["seconds"] += int(r["seconds"])
        t["executions"] += int(r["executions"] or 0)
        t["crashes"] += int(r["crashes"] or 0)
    # A kept input is closed when fuzz/findings.tsv names it (fixed, or shown to be no fault).
    closed = {(f["target"], os.path.basename(f["input"])) for f in findings}
    for r in runs:
        kept = [k for k in (r["kept_inputs"] or "").split(",") if k and k != "-"]
        t = totals[r["target"]]
        t["open"] = t.get("open", 0) + sum(1 for k in kept if (r["target"], k) not in closed)
        t["open"] += max(0, int(r["crashes"] or 0) - len(kept))
    lines += [
        "libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer; each run is one process on",
        "one core, seeded from `fuzz/corpus/TARGET/` (two runs of a target at once share its working",
        "corpus). The default and sanitizer builds of the suite replay every input kept in",
        "`fuzz/corpus/TARGET/` through the same target (tests `fuzzcorpus_TARGET`, without",
        "libFuzzer). Totals over every logged run:",
        "",
        table(["target", "runs", "seconds", "executions", "crashes found", "open"],
              [[f"`{k}`", v["runs"], v["seconds"], f'{v["executions"]:,}', v["crashes"], v.get("open", 0)]
               for k, v in sorted(totals.items())]),
        "",
        "Every run, oldest first (`commit` ending in + means uncommitted changes were built):",
        "",
        table(["finished (UTC)", "target", "seconds", "executions", "crashes", "inputs kept", "commit", "command"],
              [[r["finished_utc"], r["target"], r["seconds"], f'{int(r["executions"] or 0):,}', r["crashes"],
                r["kept_inputs"], r["commit"], f'`{r["command"]}`'] for r in runs]),
        "",
    ]
    return lines


def findings_section(rows):
    lines = ["### Faults found through the fuzz targets", ""]
    if not rows:
        return lines + ["None so far.", ""]
    lines += [
        table(["found (UTC)", "target", "input kept", "how found", "what broke", "fix", "regression test"],
              [[r["found_utc"], f'`{r["target"]}`', f'`{r["input"]}`', r["how_found"], r["property_broken"],
                r["fix_commit"], f'`{r["regression_test"]}`'] for r in rows]),
        "",
    ]
    return lines


def fault_section(rows, runs):
    lines = ["## Fault-injected link", ""]
    if not rows:
        return lines + ["No fault-injection run logged yet (`bash tools/reliability/fault-table.sh`).", ""]
    names = {"quick": "`test_faultinjection`", "slow": "`test_faultinjection_slow`"}
    stamps = [f'{names.get(r["part"], r["part"])} finished {r["finished_utc"]} at commit {r["commit"]} '
              f'(ctest exit {r["ctest_exit"]})' for r in runs]
    lines += [
        "The programming sequence against the simulated processor on a pseudo-terminal, one run per",
        "fault. Checked in every run: the result and the message shown, that success is reported only",
        "when the processor took the whole image, that the port is closed afterwards and that the",
        "model is untouched. Produced by `bash tools/reliability/fault-table.sh` (tests",
        "`test_faultinjection` and, labelled slow, `test_faultinjection_slow`).",
        "",
    ]
    if stamps:
        lines += ["Last runs: " + "; ".join(stamps) + ".", ""]
    lines += [
        table(["fault", "expected result", "expected messages", "observed result", "observed messages",
               "port closed", "model untouched", "seconds", "verdict"],
              [[f'`{r["fault"]}`', r["expected_result"], r["expected_message"], r["observed_result"],
                r["observed_message"], r["port_closed"], r["model_untouched"], r.get("seconds", ""),
                r["verdict"]] for r in rows]),
        "",
    ]
    return lines


def suite_section(rows):
    lines = ["## Test suite, normal and sanitizer builds", ""]
    if not rows:
        return lines + ["No suite run logged yet (`bash tools/run-tests.sh`).", ""]
    lines += [
        "`tools/run-tests.sh` (what `.ci/run` calls) builds and tests the default build, then the",
        "AddressSanitizer + UndefinedBehaviorSanitizer build (preset `asan`). Most recent runs:",
        "",
        table(["finished (UTC)", "build", "build seconds", "ctest seconds", "tests", "failed", "options", "commit"],
              [[r["finished_utc"], r["build"], r["build_seconds"], r["ctest_seconds"], r["tests"], r["failed"],
                r["options"], r["commit"]] for r in rows[-8:]]),
        "",
    ]
    return lines


def seed_section():
    """Each seeding table: per area, how many of the faults that could be seeded the suite caught."""
    folder = os.path.join(ROOT, "docs", "reliability")
    names = sorted(n for n in os.listdir(folder) if n.startswith("seedruns") and n.endswith(".tsv"))
    lines = ["## Seeded faults", "",
             "Small faults written into a scratch copy one at a time; \"caught\" means some test of the",
             "suite failed. A fault whose text no longer occurs in the code is \"not applicable\".", ""]
    for name in names:
        rows = read_tsv(os.path.join("docs", "reliability", name))
        if not rows:
            continue
        areas = OrderedDict()
        for r in rows:
            a = areas.setdefault(r["area"], {"caught": 0, "seeded": 0, "slowest": 0.0})
            if r["status"] in ("not applicable", "not run", "build failed"):
                continue
            a["seeded"] += 1
            if r["status"] in ("caught", "late"):
                a["caught"] += 1
                a["slowest"] = max(a["slowest"], float(r["seconds"] or 0))
        caught = sum(a["caught"] for a in areas.values())
        seeded = sum(a["seeded"] for a in areas.values())
        commits = sorted({r["commit"] for r in rows})
        lines += ["### `docs/reliability/%s` (at %s): %d of %d caught" % (name, ", ".join(commits), caught, seeded), ""]
        lines.append(table(["area", "caught", "seeded", "slowest catch (s)"],
                           [[k, a["caught"], a["seeded"], "%.2f" % a["slowest"]] for k, a in areas.items()]))
        lines.append("")
    return lines


def main():
    out = [
        "# Reliability",
        "",
        "Generated by `tools/reliability/render-report.py` from the logs named in each section;",
        "do not edit by hand. The commands that add to the logs:",
        "",
        "| what | command | log |",
        "|---|---|---|",
        "| fuzz one target / all targets for SECONDS each | `bash tools/fuzz/run-fuzz.sh TARGET\\|all SECONDS` | `fuzz/results.tsv` |",
        "| fault-injected programming runs | `bash tools/reliability/fault-table.sh [quick]` | `docs/reliability/faults.tsv` |",
        "| whole suite, default then ASan + UBSan build (`.ci/run`) | `bash tools/run-tests.sh` | `docs/reliability/testruns.tsv` |",
        "| seeded faults, each against the suite | `bash tools/reliability/seed-faults.sh [--only ID,...] --out FILE` | `docs/reliability/seedruns*.tsv` |",
        "",
        "A settings save, a filter.bin write that fails part-way (full disk, read-only folder, bad",
        "path) or is killed, leaving the previous file whole, is checked by `test_nothinglost`, part",
        "of the normal suite. Those two writes (each to a temporary file that is renamed over the",
        "old one) are the only files the program writes in a session, so a crash at any other",
        "moment leaves the files of the last save or exit as they were.",
        "",
    ]
    findings = read_tsv("fuzz/findings.tsv")
    out += fuzz_section(read_tsv("fuzz/results.tsv"), findings)
    out += findings_section(findings)
    out += fault_section(read_tsv("docs/reliability/faults.tsv"), read_tsv("docs/reliability/faultruns.tsv"))
    out += seed_section()
    out += suite_section(read_tsv("docs/reliability/testruns.tsv"))
    path = os.path.join(ROOT, "docs", "RELIABILITY.md")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(out).rstrip() + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
