#!/usr/bin/env python3
"""Measures reading scans: how many phrase occurrences the default command line
blacks out, how much of the page it blacks out besides, and how fast.

bench-make-scans writes each scan beside the text it was printed from; the
phrases' places in that text, turned as the scan was turned, are the truth.
An occurrence counts as blacked out when the regions cover at least 95 % of
its ink: the text layer's box without the search margin, and of its height
the middle half, where the letters' bodies are (the box runs from the font's
ascender to its descender). Over-redaction is the share of the page that the
regions cover outside every occurrence's whole box.

Speed: `inkveil-cli redact` on the 300-dpi grey letter scan with --ocr auto
and always (both read every page of a scan and read the phrase pages of the
copy back), and on a text document with auto and off, one process run each:
pages per second and peak resident memory.
"""

import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

PHRASES = ["Nightingale Holdings", "Margaret Okonkwo", "AB-4471-ZX", "Birchwood Lane"]
SCANS = ["letter-300-grey", "letter-200-grey", "letter-300-bw", "letter-200-bw"]
PAGE_W, PAGE_H = 612.0, 792.0
TURN_DEGREES = 0.6  # ScanStyle's default
CELL = 1.0  # points per grid cell


def find(cli, pdf, mode):
    out = subprocess.run([str(cli), "find", "--json", "--ocr", mode, str(pdf), *PHRASES],
                         check=True, capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines() if line.strip()]


def page_rect(region):
    """A region in points, y down, as (x0, y0, x1, y1)."""
    (x, y), (w, h) = region["normalizedRect"]
    return (x * PAGE_W, (1 - y - h) * PAGE_H, (x + w) * PAGE_W, (1 - y) * PAGE_H)


def ink(rect):
    """The part of a text box (with its search margin) that the letters fill."""
    x0, y0, x1, y1 = rect[0] + 2, rect[1] + 1, rect[2] - 2, rect[3] - 1
    h = y1 - y0
    return (x0, y0 + h / 4, x1, y1 - h / 4)


def turned(rect):
    """Where the scan put a rectangle of the source: turned about the page's centre."""
    a = math.radians(TURN_DEGREES)
    cs, sn = math.cos(a), math.sin(a)
    cx, cy = PAGE_W / 2, PAGE_H / 2
    xs, ys = [], []
    for x in (rect[0], rect[2]):
        for y in (rect[1], rect[3]):
            dx, dy = x - cx, y - cy
            xs.append(cs * dx - sn * dy + cx)
            ys.append(sn * dx + cs * dy + cy)
    return (min(xs), min(ys), max(xs), max(ys))


def cells(rect):
    x0, y0 = max(0, int(rect[0] / CELL)), max(0, int(rect[1] / CELL))
    x1, y1 = min(int(PAGE_W / CELL), math.ceil(rect[2] / CELL)), min(int(PAGE_H / CELL), math.ceil(rect[3] / CELL))
    return {(x, y) for x in range(x0, x1) for y in range(y0, y1)}


def accuracy(cli, folder, name):
    truth, found = {}, {}
    for r in find(cli, folder / f"{name}-source.pdf", "off"):
        rect = page_rect(r)
        truth.setdefault(r["pageIndex"], []).append((turned(rect), turned(ink(rect))))
    for r in find(cli, folder / f"{name}.pdf", "auto"):
        found.setdefault(r["pageIndex"], set()).update(cells(page_rect(r)))
    occurrences = hits = 0
    over = 0
    pages = set(truth) | set(found)
    for page in pages:
        covered = found.get(page, set())
        expected = set()
        for rect, letters in truth.get(page, []):
            expected |= cells(rect)
            box = cells(letters)
            occurrences += 1
            if box and len(box & covered) >= 0.95 * len(box):
                hits += 1
        over += len(covered - expected)
    page_cells = (PAGE_W / CELL) * (PAGE_H / CELL)
    return occurrences, hits, over / (page_cells * max(1, len(pages)))


def timed(argv):
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(err.strip()[:300])
    return wall, usage.ru_maxrss / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, type=Path, help="Release build folder")
    parser.add_argument("--work", type=Path, help="inputs and outputs (default: BUILD/bench-ocr)")
    parser.add_argument("--pages", type=int, default=10, help="pages per scan (default 10)")
    parser.add_argument("--speed-only", action="store_true", help="skip the accuracy part")
    args = parser.parse_args()
    build = args.build.resolve()
    work = (args.work or build / "bench-ocr").resolve()
    cli = build / "cli" / "inkveil-cli"
    scans = work / "scans"
    shutil.rmtree(work, ignore_errors=True)
    scans.mkdir(parents=True)
    subprocess.run([str(build / "bench" / "ocr" / "bench-make-scans"), str(scans), str(args.pages)], check=True)
    subprocess.run([str(build / "bench" / "redact" / "bench-make-inputs"), str(work / "inputs")], check=True)

    print(f"{'scan':18} {'found':>12} {'recall':>7} {'over-redacted':>14}")
    total = hit = 0
    for name in SCANS if not args.speed_only else []:
        n, h, over = accuracy(cli, scans, name)
        total += n
        hit += h
        print(f"{name:18} {h:5d} of {n:<4d} {100 * h / max(1, n):6.1f}% {100 * over:13.2f}%")
    print(f"{'all':18} {hit:5d} of {total:<4d} {100 * hit / max(1, total):6.1f}%")

    print(f"\n{'document':18} {'--ocr':7} {'pages/s':>8} {'seconds':>8} {'peak MiB':>9}")
    runs = [("letter-300-grey", scans / "letter-300-grey.pdf", args.pages, mode) for mode in ("auto", "always")]
    runs += [("text-50", work / "inputs" / "text-50.pdf", 50, mode) for mode in ("off", "auto")]
    for label, pdf, pages, mode in runs:
        out = work / "out" / f"{label}-{mode}"
        shutil.rmtree(out, ignore_errors=True)
        argv = [str(cli), "redact", "-o", str(out), "--ocr", mode, "-r", "200"]
        for phrase in PHRASES:
            argv += ["-f", phrase]
        try:
            wall, mib = timed(argv + [str(pdf)])
            print(f"{label:18} {mode:7} {pages / wall:8.2f} {wall:8.1f} {mib:9.0f}")
        except RuntimeError as e:
            print(f"{label:18} {mode:7} failed: {e}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
