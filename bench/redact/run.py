#!/usr/bin/env python3
"""Times Inkveil's redactor against the tools people flatten PDFs with today.

Every tool gets the same generated inputs at 150, 200 and 300 dpi; each
measurement is one process run from start to exit (startup, writing and, for
Inkveil, verification included). Reported per tool: pages per second (from the
fastest and the median run), output bytes per page, peak resident memory (the
largest of the process's runs; for pdftoppm + img2pdf the larger of the two
steps) and CPU time per page.

The slow peers take minutes per document. By default Ghostscript runs once per
measurement and --runs times where the targets are judged (the 50-page text
document at 200 dpi), pdftoppm + img2pdf once at 200 dpi only, and neither on
the 200-page document. --full runs everything everywhere --runs times.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

PHRASE = "Nightingale Holdings"  # make_inputs.cpp puts it on every page
DOCUMENTS = [("text-50", 50), ("text-200", 200), ("mixed-20", 20), ("scan-20", 20)]
RESOLUTIONS = [150, 200, 300]
TARGET_DOC, TARGET_DPI = "text-50", 200
WORKERS = 2  # the redactor's threads, each holding one page bitmap
MIB = 1024 * 1024


@dataclass
class Tool:
    name: str
    label: str
    steps: object  # (src, out_dir, tmp_dir, dpi) -> list of argv
    slow: bool = False
    ours: bool = False
    programs: tuple = ()


@dataclass
class Cell:
    seconds: list = field(default_factory=list)
    cpu: list = field(default_factory=list)
    rss_kib: int = 0
    out_bytes: int = 0
    error: str = ""


def run_steps(steps, env):
    """Runs the commands one after another; returns wall seconds, CPU seconds and
    the largest peak RSS (KiB), or raises on a failure."""
    wall = cpu = 0.0
    rss = 0
    for argv in steps:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        _, status, usage = os.wait4(proc.pid, 0)
        wall += time.perf_counter() - start
        err = proc.stderr.read().decode(errors="replace")
        proc.stderr.close()
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode != 0:
            raise RuntimeError(f"{Path(argv[0]).name} exited with {proc.returncode}: {err.strip()[:300]}")
        cpu += usage.ru_utime + usage.ru_stime
        rss = max(rss, usage.ru_maxrss)
    return wall, cpu, rss


def pdf_bytes(folder):
    return sum(p.stat().st_size for p in Path(folder).glob("*.pdf"))


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)


def make_tools(build, have_cli):
    tools = [
        Tool("inkveil", "Inkveil (engine)",
             lambda s, o, t, d: [[str(build / "bench/redact/bench-redact"), str(s), str(o), str(d), PHRASE]], ours=True),
    ]
    if have_cli:
        # Reading pages as pictures is timed by bench/ocr/run.py.
        tools.append(Tool("inkveil-cli", "inkveil-cli redact -f --ocr off",
                          lambda s, o, t, d: [[str(build / "cli/inkveil-cli"), "redact", "-f", PHRASE, "-r", str(d),
                                               "--ocr", "off", "-o", str(o), str(s)]], ours=True))
        # What anti-aliasing costs: set against the line above, its ratios are the price of --smooth.
        tools.append(Tool("inkveil-smooth", "inkveil-cli redact --smooth",
                          lambda s, o, t, d: [[str(build / "cli/inkveil-cli"), "redact", "--smooth", "-f", PHRASE, "-r",
                                               str(d), "--ocr", "off", "-o", str(o), str(s)]]))
    tools += [
        # No -o: MuPDF renders every page in RGB and writes nothing.
        Tool("mutool", "mutool draw (render only)", lambda s, o, t, d: [["mutool", "draw", "-q", "-r", str(d), str(s)]],
             programs=("mutool",)),
        Tool("gs-aa", "gs pdfimage24, anti-aliased",
             lambda s, o, t, d: [["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfimage24", f"-r{d}",
                                  "-dGraphicsAlphaBits=4", "-dTextAlphaBits=4", f"-sOutputFile={o}/out.pdf", str(s)]],
             slow=True, programs=("gs",)),
        Tool("gs", "gs pdfimage24",
             lambda s, o, t, d: [["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfimage24", f"-r{d}",
                                  f"-sOutputFile={o}/out.pdf", str(s)]], slow=True, programs=("gs",)),
        Tool("pdftoppm", "pdftoppm -png + img2pdf", pdftoppm_steps, slow=True, programs=("pdfinfo", "pdftoppm", "img2pdf")),
    ]
    return tools


def pdftoppm_steps(src, out, tmp, dpi):
    # pdftoppm pads page numbers to a common width, so name order is page order.
    pages = int(subprocess.run(["pdfinfo", str(src)], capture_output=True, text=True).stdout
                .split("Pages:")[1].split()[0])
    width = len(str(pages))
    pngs = [str(tmp / f"p-{i:0{width}d}.png") for i in range(1, pages + 1)]
    return [["pdftoppm", "-r", str(dpi), "-png", str(src), str(tmp / "p")], ["img2pdf", *pngs, "-o", str(out / "out.pdf")]]


def cli_redacts(build):
    cli = build / "cli/inkveil-cli"
    if not cli.exists():
        return False
    result = subprocess.run([str(cli), "--help"], capture_output=True, text=True)
    return result.returncode == 0 and "redact" in result.stdout + result.stderr


def planned_runs(tool, doc, dpi, args):
    if not tool.slow or args.full:
        return args.runs
    if doc == "text-200":
        return 0
    if tool.name == "pdftoppm":
        return 1 if dpi == TARGET_DPI else 0
    return args.runs if (doc, dpi) == (TARGET_DOC, TARGET_DPI) else 1


def pages_per_second(cell, pages, pick):
    return pages / pick(cell.seconds) if cell.seconds else None


def fmt(value, pattern, missing="—"):
    return missing if value is None else format(value, pattern)


def page_bitmap_mib(dpi):
    # The documents' pages are US Letter: RGB, 3 bytes per pixel.
    return round(612 * dpi / 72) * round(792 * dpi / 72) * 3 / MIB


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, type=Path, help="Release build folder")
    parser.add_argument("--work", type=Path, help="inputs and outputs (default: BUILD/bench-work)")
    parser.add_argument("--runs", type=int, default=3, help="runs per measurement (default 3)")
    parser.add_argument("--full", action="store_true", help="every tool, every document, every resolution, all runs")
    parser.add_argument("--only", help="comma-separated tool names to run")
    parser.add_argument("--docs", help="comma-separated document names to run")
    parser.add_argument("--dpi", help="comma-separated resolutions")
    args = parser.parse_args()

    build = args.build.resolve()
    work = (args.work or build / "bench-work").resolve()
    inputs = work / "inputs"
    if not all((inputs / f"{d}.pdf").exists() for d, _ in DOCUMENTS):
        print("Generating inputs…", flush=True)
        subprocess.run([str(build / "bench/redact/bench-make-inputs"), str(inputs)], check=True)

    tools = make_tools(build, cli_redacts(build))
    if args.only:
        wanted = set(args.only.split(","))
        tools = [t for t in tools if t.name in wanted]
    missing = sorted({p for t in tools for p in t.programs if shutil.which(p) is None})
    if missing:
        sys.exit(f"missing tools: {', '.join(missing)} (run scripts/install-deps.sh)")
    documents = [(d, n) for d, n in DOCUMENTS if not args.docs or d in args.docs.split(",")]
    resolutions = [int(r) for r in args.dpi.split(",")] if args.dpi else RESOLUTIONS

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    print(f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f} at start", flush=True)
    results = {}
    started = time.perf_counter()
    for doc, pages in documents:
        src = inputs / f"{doc}.pdf"
        for dpi in resolutions:
            plan = [(t, planned_runs(t, doc, dpi, args)) for t in tools]
            # Runs interleave, so that a change in the machine's load touches every tool alike.
            for run in range(max(n for _, n in plan)):
                for tool, runs in plan:
                    if run >= runs:
                        continue
                    cell = results.setdefault((doc, dpi, tool.name), Cell())
                    if cell.error:
                        continue
                    out, tmp = work / "out" / tool.name, work / "tmp" / tool.name
                    fresh(out)
                    fresh(tmp)
                    try:
                        wall, cpu, rss = run_steps(tool.steps(src, out, tmp, dpi), env)
                    except (RuntimeError, OSError) as e:
                        cell.error = str(e)
                        print(f"  {doc} {dpi} dpi {tool.name}: FAILED {e}", flush=True)
                        continue
                    cell.seconds.append(wall)
                    cell.cpu.append(cpu)
                    cell.rss_kib = max(cell.rss_kib, rss)
                    cell.out_bytes = pdf_bytes(out)
            print(f"  {doc} at {dpi} dpi done ({time.perf_counter() - started:.0f} s)", flush=True)
    shutil.rmtree(work / "out", ignore_errors=True)
    shutil.rmtree(work / "tmp", ignore_errors=True)

    report = render_report(results, tools, documents, resolutions, args)
    report += f"\n{time.perf_counter() - started:.0f} s in all; load average {os.getloadavg()[0]:.2f} at the end.\n"
    print("\n" + report)
    (work / "results.md").write_text(report)
    print(f"(also written to {work / 'results.md'})")


def render_report(results, tools, documents, resolutions, args):
    lines = []
    pages_of = dict(documents)
    ours = [t for t in tools if t.ours]
    for doc, pages in documents:
        for dpi in resolutions:
            lines.append(f"### {doc} ({pages} pages) at {dpi} dpi\n")
            lines.append("| tool | pages/s (min time) | pages/s (median) | runs | KB/page | peak RSS MiB | CPU ms/page |")
            lines.append("|---|---:|---:|---:|---:|---:|---:|")
            for tool in tools:
                cell = results.get((doc, dpi, tool.name))
                if not cell or (not cell.seconds and not cell.error):
                    continue
                if cell.error:
                    lines.append(f"| {tool.label} | failed | | | | | |")
                    continue
                best = pages_per_second(cell, pages, min)
                median = pages_per_second(cell, pages, statistics.median)
                kb = cell.out_bytes / pages / 1000 if tool.name != "mutool" else None
                lines.append(f"| {tool.label} | {best:.1f} | {median:.1f} | {len(cell.seconds)} | {fmt(kb, '.0f')} | "
                             f"{cell.rss_kib / 1024:.0f} | {statistics.median(cell.cpu) / pages * 1000:.1f} |")
            for our in ours:
                mine = results.get((doc, dpi, our.name))
                if not mine or not mine.seconds:
                    continue
                ratios = []
                for tool in tools:
                    other = results.get((doc, dpi, tool.name))
                    if tool is our or not other or not other.seconds:
                        continue
                    speed = pages_per_second(mine, pages, statistics.median) / pages_per_second(other, pages, statistics.median)
                    text = f"{speed:.2f}× the speed"
                    if tool.name != "mutool":
                        text += f", {mine.out_bytes / other.out_bytes:.2f}× the bytes"
                    text += f" of {tool.label}"
                    ratios.append(text)
                if ratios:
                    lines.append(f"\n{our.label}: " + "; ".join(ratios) + ".")
            lines.append("")

    lines.append("### Targets (text-50 at 200 dpi; memory: text-200 against text-50 at 200 dpi)\n")
    for our in ours:
        lines += target_lines(results, our, pages_of)
    return "\n".join(lines)


def target_lines(results, our, pages_of):
    def cell(doc, tool):
        c = results.get((doc, TARGET_DPI, tool))
        return c if c and c.seconds else None

    def speed(doc, tool):
        c = cell(doc, tool)
        return pages_per_second(c, pages_of[doc], statistics.median) if c else None

    out = []

    def verdict(name, ok, detail):
        out.append(f"- {our.label}: {name}: {'met' if ok else 'NOT met'} ({detail})")

    mine, gs_aa, limit = speed(TARGET_DOC, our.name), speed(TARGET_DOC, "gs-aa"), speed(TARGET_DOC, "mutool")
    if mine and gs_aa:
        verdict("≥ 5× gs pdfimage24 anti-aliased", mine >= 5 * gs_aa, f"{mine:.1f} against {gs_aa:.1f} pages/s: {mine / gs_aa:.1f}×")
    if mine and limit:
        verdict("≥ 50 % of MuPDF's render-only throughput", mine >= 0.5 * limit,
                f"{mine:.1f} against {limit:.1f} pages/s: {100 * mine / limit:.0f} %")
    a, b = cell(TARGET_DOC, our.name), cell(TARGET_DOC, "gs-aa")
    if a and b:
        mine_kb, theirs_kb = a.out_bytes / pages_of[TARGET_DOC] / 1000, b.out_bytes / pages_of[TARGET_DOC] / 1000
        verdict("bytes/page ≤ gs pdfimage24 anti-aliased", mine_kb <= theirs_kb,
                f"{mine_kb:.0f} against {theirs_kb:.0f} KB/page: {mine_kb / theirs_kb:.2f}×")
    small, large = cell("text-50", our.name), cell("text-200", our.name)
    if small and large:
        verdict("peak memory for 200 pages ≤ 1.1× that for 50", large.rss_kib <= 1.1 * small.rss_kib,
                f"{large.rss_kib / 1024:.1f} against {small.rss_kib / 1024:.1f} MiB: {large.rss_kib / small.rss_kib:.2f}×")
        bound = 64 + WORKERS * page_bitmap_mib(TARGET_DPI)
        verdict(f"peak memory < 64 MiB + {WORKERS} page bitmaps", large.rss_kib / 1024 < bound,
                f"{large.rss_kib / 1024:.1f} against {bound:.1f} MiB")
    return out


if __name__ == "__main__":
    main()
