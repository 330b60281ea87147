#!/usr/bin/python3
"""The chart fidelity check: LibreOffice Calc in its window is the oracle of how a chart looks.

Usage: chart_fidelity.py WORK RENDER_RANGE

Starts an X server of its own (Xvfb at 96 dpi, a display no one else holds), openbox and the desktop
LibreOffice Calc with a private profile in WORK; has Calc insert the charts of
tests/fixtures/calc_chart_workbooks.py and save them; then shows each chart in Calc's window at
100 %, grabs it from the frame buffer (its box is where the screen changes when the chart is
hidden), paints the same chart with RENDER_RANGE, and compares the two by their elements:
the plot area's box, the axis labels (how many, where), each series' path and colour, the
markers, the data labels and the legend entries. Prints one JSON object: per chart the figures
and each finding beyond the tolerances. Pictures go to WORK/evidence.
"""

import json
import os
import shutil
import struct
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from PIL import Image, ImageChops

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures")

# Tolerances, in pixels unless said otherwise: tight enough that a drift of the plot area, of a
# label or of a line by a few pixels fails.
TOLERANCES = {
    "plot_edge": 4,         # each edge of the plot area's box
    "label_shift": 4,       # each axis label's centre, along and across its axis
    "path_mean": 2.5,       # a series' line: mean distance, column by column, from Calc's
    "path_max": 4,          # ... and the largest but for the worst tenth
    "series_pixels": 0.15,  # a series' area in its colour (bars, slices, markers), as a share of Calc's
    "legend_shift": 4,      # each legend symbol's centre
    "label_ink": 5,         # each data label's centre
    "whole": 8.0,           # percent of pixels differing noticeably, whole picture
}


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


# --- the desktop -----------------------------------------------------------------------------

class Desktop:
    def __init__(self, work):
        self.work = work
        self.procs = []
        os.makedirs(work + "/x", exist_ok=True)
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1920x1080x24", "-dpi", "96",
                                 "-nolisten", "tcp",
                                 "-nocursor", "-fbdir", work + "/x"], pass_fds=(w,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(xvfb)
        os.close(w)
        number = b""
        deadline = time.time() + 60
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            raise RuntimeError("Xvfb gave no display number")
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.procs.append(subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL, start_new_session=True))

    def screen(self):
        b = open(self.work + "/x/Xvfb_screen0", "rb").read()
        f = struct.unpack(">25I", b[:100])
        hs, w, h, bpl, ncol = f[0], f[4], f[5], f[12], f[19]
        off = hs + ncol * 12
        return Image.frombuffer("RGBX", (w, h), b[off:off + bpl * h], "raw", "BGRX", bpl, 1).convert("RGB")

    def settled(self, seconds=30):
        last, deadline = self.screen(), time.time() + seconds
        while time.time() < deadline:
            time.sleep(0.6)
            now = self.screen()
            if ImageChops.difference(now, last).getbbox() is None:
                return now
            last = now
        return last

    def stop(self):
        for p in reversed(self.procs):
            try:
                os.killpg(p.pid, 15)
            except Exception:
                pass
        for p in self.procs:
            try:
                p.wait(20)
            except Exception:
                os.killpg(p.pid, 9)


PROFILE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Save/Document"><prop oor:name="WarnAlienFormat" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
</oor:items>
"""


class Calc:
    """The desktop Calc on the check's display, driven over UNO as calc_chart_workbooks.make expects."""

    def __init__(self, desk, work):
        os.makedirs(work + "/profile/user", exist_ok=True)
        with open(work + "/profile/user/registrymodifications.xcu", "w") as f:
            f.write(PROFILE)
        pipe = "sbfid%d" % os.getpid()
        env = dict(desk.env, HOME=work, SAL_USE_VCLPLUGIN="gen")
        soffice = shutil.which("soffice") or "/usr/bin/soffice"
        desk.procs.append(subprocess.Popen(
            [soffice, "--norestore", "--nologo", "--nodefault", "-env:UserInstallation=file://" + work + "/profile",
             "--accept=pipe,name=%s;urp;" % pipe], env=env, stdout=open(work + "/calc.log", "a"),
            stderr=subprocess.STDOUT, start_new_session=True))
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + 300
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                if time.time() > deadline:
                    raise RuntimeError("LibreOffice Calc did not start within 300 s")
                time.sleep(0.5)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def new_document(self):
        return self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (prop("Hidden", True),))

    def save_xlsx(self, doc, path):
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)), (prop("FilterName", "Calc MS Excel 2007 XML"),))

    def quit(self):
        try:
            self.desktop.terminate()
        except Exception:
            pass


def grab_charts(desk, calc, path, prefix):
    """Each chart of the workbook's first sheet as Calc's window shows it at 100 %."""
    doc = calc.desktop.loadComponentFromURL(uno.systemPathToFileUrl(path), "_blank", 0, ())
    ctrl = doc.CurrentController
    ctrl.Frame.ContainerWindow.setPosSize(0, 0, 1920, 1080, 15)
    ctrl.ZoomType = 3  # by value
    ctrl.ZoomValue = 100
    sheet = doc.Sheets.getByIndex(0)
    page = sheet.DrawPage
    shots = []
    for i in range(page.Count):
        shape = page.getByIndex(i)
        # The cell cursor away from the chart, the chart's first cell near the top left.
        ctrl.select(sheet.getCellByPosition(200, 2000))
        cell = shape.Anchor.CellAddress if hasattr(shape.Anchor, "CellAddress") else None
        ctrl.setFirstVisibleColumn(max(0, cell.Column - 1) if cell else 0)
        ctrl.setFirstVisibleRow(max(0, cell.Row - 1) if cell else 0)
        shown = desk.settled()
        shape.Visible = False
        hidden = desk.settled()
        shape.Visible = True
        box = ImageChops.difference(shown, hidden).getbbox()
        if not box:
            raise RuntimeError("chart %d of %s does not show" % (i + 1, path))
        out = "%s%d-calc.png" % (prefix, i + 1)
        shown.crop(box).save(out)
        shots.append(out)
    doc.close(True)
    return shots


# --- elements of a chart picture -----------------------------------------------------------------

def near(p, c, tol):
    return abs(p[0] - c[0]) <= tol and abs(p[1] - c[1]) <= tol and abs(p[2] - c[2]) <= tol


def dark(p):
    return (p[0] + p[1] + p[2]) < 330 and max(p) - min(p) < 50


def longest_run(values, gap):
    best, run = [], []
    for v in values:
        if run and v - run[-1] > gap + 1:
            run = []
        run.append(v)
        if len(run) > len(best) or (len(run) == len(best) and run[-1] - run[0] > best[-1] - best[0]):
            best = list(run)
    return best


def plot_box(im, fill, colors):
    """The plot area: the longest block of rows, and of columns, mostly in its fill or in the
    series' colours (bars cover much of it), across gridlines."""
    px, w, h = im.load(), im.width, im.height
    inside = [[near(px[x, y], fill, 3) or any(near(px[x, y], c, 6) for c in colors) for x in range(w)] for y in range(h)]
    rows = longest_run([y for y in range(h) if sum(inside[y]) > w * 0.3], 3)
    cols = longest_run([x for x in range(w) if sum(inside[y][x] for y in range(h)) > h * 0.3], 3)
    if not rows or not cols:
        return None
    return [cols[0], rows[0], cols[-1] + 1, rows[-1] + 1]


def runs(hits, gap):
    out = []
    for v in hits:
        if out and v - out[-1][1] <= gap:
            out[-1][1] = v
        else:
            out.append([v, v])
    return [(a + b) / 2 for a, b in out]


def ink_rows(im, box):
    x0, y0, x1, y1 = [max(0, v) for v in box]
    px = im.load()
    hits = [y for y in range(y0, min(im.height, y1)) if any(dark(px[x, y]) for x in range(x0, min(im.width, x1)))]
    # A glyph's thin stroke (the slant of a 7) can leave a row or two without dark ink.
    return runs(hits, 3)


def ink_cols(im, box, gap=6):
    x0, y0, x1, y1 = [max(0, v) for v in box]
    px = im.load()
    hits = [x for x in range(x0, min(im.width, x1)) if any(dark(px[x, y]) for y in range(y0, min(im.height, y1)))]
    return runs(hits, gap)


def ink_blobs(im, box, reach=7):
    """The centres of the dark text within `box` (black on any colour), letters within `reach`
    pixels of each other one text."""
    x0, y0, x1, y1 = [max(0, int(v)) for v in box]
    x1, y1 = min(im.width, x1), min(im.height, y1)
    px = im.load()
    parent = {}

    def find(a):
        while parent[a] != a:
            parent[a] = parent[parent[a]]
            a = parent[a]
        return a

    pts = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if sum(px[x, y]) < 200]
    for p in pts:
        parent[p] = p
    for (x, y) in pts:
        for dx in range(-reach, reach + 1):
            for dy in (-2, -1, 0, 1, 2):
                q = (x + dx, y + dy)
                if q != (x, y) and q in parent:
                    parent[find(q)] = find((x, y))
    groups = {}
    for p in pts:
        groups.setdefault(find(p), []).append(p)
    centres = [(sum(p[0] for p in g) / len(g), sum(p[1] for p in g) / len(g)) for g in groups.values() if len(g) >= 6]
    return sorted(centres, key=lambda c: (round(c[1] / 8), c[0]))


def compare_points(name, calc, ours, tol, findings, figures):
    figures[name + "_count"] = [len(calc), len(ours)]
    if len(calc) != len(ours):
        findings.append("%s: %d in Calc, %d here" % (name, len(calc), len(ours)))
        return
    worst = max([max(abs(a[0] - b[0]), abs(a[1] - b[1])) for a, b in zip(calc, ours)] or [0])
    figures[name + "_shift"] = round(worst, 1)
    if worst > tol:
        findings.append("%s: one is %.1f px from Calc's (tolerance %d)" % (name, worst, tol))


def series_profile(im, color, box):
    """Per column of the plot, the mean height of the series' colour: its path."""
    px = im.load()
    prof = {}
    for x in range(max(0, box[0]), min(im.width, box[2])):
        ys = [y for y in range(max(0, box[1] - 8), min(im.height, box[3] + 8)) if near(px[x, y], color, 24)]
        if ys:
            prof[x - box[0]] = sum(ys) / len(ys)
    return prof


def count_color(im, color, tol=12, box=None):
    px = im.load()
    x0, y0, x1, y1 = box or (0, 0, im.width, im.height)
    return sum(near(px[x, y], color, tol) for y in range(y0, y1) for x in range(x0, x1))


def legend_symbols(im, colors, x_from, y_from=0):
    """Where each series' legend symbol is: the centre of its colour right of the plot (from
    x_from) or below it (from y_from)."""
    px = im.load()
    out = {}
    for c in colors:
        pts = [(x, y) for y in range(y_from, im.height) for x in range(x_from, im.width) if near(px[x, y], c, 10)]
        if pts:
            out[c] = (sum(p[0] for p in pts) / len(pts), sum(p[1] for p in pts) / len(pts))
    return out


def compare_lists(name, calc, ours, tol, findings, figures):
    figures[name + "_count"] = [len(calc), len(ours)]
    if len(calc) != len(ours):
        findings.append("%s: %d in Calc, %d here" % (name, len(calc), len(ours)))
        return
    worst = max([abs(a - b) for a, b in zip(calc, ours)] or [0])
    figures[name + "_shift"] = round(worst, 1)
    if worst > tol:
        findings.append("%s: one is %.1f px from Calc's (tolerance %d)" % (name, worst, tol))


def compare(calc_png, ours_png, spec, evidence):
    """The chart's elements in Calc's picture and ours; findings beyond the tolerances."""
    C = Image.open(calc_png).convert("RGB")
    O = Image.open(ours_png).convert("RGB")
    findings, figures = [], {}
    figures["size"] = [list(C.size), list(O.size)]
    if abs(C.width - O.width) > 1 or abs(C.height - O.height) > 1:
        findings.append("size: Calc %dx%d, here %dx%d" % (C.width, C.height, O.width, O.height))
    if O.size != C.size:
        # A pixel more or less at an edge: the pictures are laid over each other as they are.
        padded = Image.new("RGB", C.size, "white")
        padded.paste(O, (0, 0))
        O = padded
    diff = ImageChops.difference(C, O).convert("L").point(lambda v: 255 if v > 48 else 0)
    whole = 100.0 * sum(1 for v in diff.getdata() if v) / (C.width * C.height)
    figures["differing_pixels_percent"] = round(whole, 2)
    if whole > spec.get("whole", TOLERANCES["whole"]):
        findings.append("whole picture: %.1f %% of pixels differ" % whole)
    side = Image.new("RGB", (C.width * 3 + 20, C.height), "black")
    side.paste(C, (0, 0))
    side.paste(O, (C.width + 10, 0))
    side.paste(diff.convert("RGB"), (2 * C.width + 20, 0))
    side.save(evidence)
    colors = [tuple(int(c[i:i + 2], 16) for i in (0, 2, 4)) for c in spec["series"]]
    if spec.get("plot"):
        fill = tuple(int(spec["plot"][i:i + 2], 16) for i in (0, 2, 4))
        pc, po = plot_box(C, fill, colors), plot_box(O, fill, colors)
        figures["plot_box"] = [pc, po]
        if not pc or not po:
            findings.append("plot area: not found (Calc %s, here %s)" % (pc, po))
            return figures, findings
        worst = max(abs(a - b) for a, b in zip(pc, po))
        figures["plot_edge_shift"] = worst
        if worst > TOLERANCES["plot_edge"]:
            findings.append("plot area: Calc %s, here %s" % (pc, po))
        # Value labels left of the plot, category or x labels below it.
        compare_lists("left_labels", ink_rows(C, (0, pc[1] - 12, pc[0] - 3, pc[3] + 12)),
                      ink_rows(O, (0, po[1] - 12, po[0] - 3, po[3] + 12)), TOLERANCES["label_shift"], findings, figures)
        compare_lists("bottom_labels", ink_cols(C, (pc[0] - 30, pc[3] + 3, min(C.width, pc[2] + 30), pc[3] + 24)),
                      ink_cols(O, (po[0] - 30, po[3] + 3, min(O.width, po[2] + 30), po[3] + 24)),
                      TOLERANCES["label_shift"], findings, figures)
        for c, hexc in zip(colors, spec["series"]):
            if spec.get("paths"):
                a, b = series_profile(C, c, pc), series_profile(O, c, pc)
                common = [x for x in a if x in b]
                if len(common) < 10:
                    findings.append("series %s: path found in %d columns only" % (hexc, len(common)))
                    continue
                d = sorted(abs(a[x] - b[x]) for x in common)
                # The worst tenth is left out of the largest: a marker or a label crossing a
                # column moves its mean however well the line lies.
                top = d[int(len(d) * 0.9)]
                figures["path_" + hexc] = [round(sum(d) / len(d), 2), round(top, 1)]
                if sum(d) / len(d) > TOLERANCES["path_mean"] or top > TOLERANCES["path_max"]:
                    findings.append("series %s: path %.1f px from Calc's on average, %.1f for 90 %% of it" % (hexc, sum(d) / len(d), top))
            na, nb = count_color(C, c, box=pc), count_color(O, c, box=po)
            figures["pixels_" + hexc] = [na, nb]
            if na == 0 or abs(nb - na) / na > TOLERANCES["series_pixels"]:
                findings.append("series %s: %d pixels of its colour in Calc, %d here" % (hexc, na, nb))
        legend_from = max(pc[2], po[2]) + 2
        legend_below = max(pc[3], po[3]) + 2
    else:
        # A pie: the slices' box, each slice's share, and the labels on it.
        def pie_box(im):
            px = im.load()
            bottom = int(im.height * spec.get("pie_height", 1.0))
            pts = [(x, y) for y in range(bottom) for x in range(int(im.width * spec.get("pie_width", 0.8)))
                   if any(near(px[x, y], c, 10) for c in colors)]
            xs, ys = [p[0] for p in pts], [p[1] for p in pts]
            return [min(xs), min(ys), max(xs) + 1, max(ys) + 1]
        pc, po = pie_box(C), pie_box(O)
        figures["pie_box"] = [pc, po]
        worst = max(abs(a - b) for a, b in zip(pc, po))
        figures["pie_edge_shift"] = worst
        if worst > TOLERANCES["plot_edge"]:
            findings.append("pie: Calc %s, here %s" % (pc, po))
        for c, hexc in zip(colors, spec["series"]):
            na, nb = count_color(C, c, box=pc), count_color(O, c, box=po)
            figures["pixels_" + hexc] = [na, nb]
            if na == 0 or abs(nb - na) / na > TOLERANCES["series_pixels"]:
                findings.append("slice %s: %d pixels of its colour in Calc, %d here" % (hexc, na, nb))
        # Each slice's label: the centre of the dark text on that slice's colour.
        def labels_on_slices(im, box):
            px = im.load()
            out = []
            for c in colors:
                pts = [(x, y) for y in range(box[1], box[3]) for x in range(box[0], box[2])
                       if sum(px[x, y]) < 200 and any(near(px[x + dx, y + dy], c, 10)
                                                     for dx in (-3, 3) for dy in (-3, 3)
                                                     if 0 <= x + dx < im.width and 0 <= y + dy < im.height)]
                if len(pts) >= 6:
                    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
                    out.append(((min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2))
            return out
        compare_points("data_labels", labels_on_slices(C, pc), labels_on_slices(O, po),
                       TOLERANCES["label_ink"], findings, figures)
        legend_from = int(C.width * spec.get("pie_width", 0.8))
        legend_below = int(C.height * spec.get("pie_height", 1.0))
    if spec.get("legend"):
        # A legend below the chart is found under the plot: the series' colours there are its
        # symbols alone.
        where = (legend_from, 0) if spec["legend"] == "right" else (0, legend_below)
        la = legend_symbols(C, colors, *where)
        lb = legend_symbols(O, colors, *where)
        for c, hexc in zip(colors, spec["series"]):
            if c in la and c in lb:
                d = max(abs(la[c][0] - lb[c][0]), abs(la[c][1] - lb[c][1]))
                figures["legend_" + hexc] = round(d, 1)
                if d > TOLERANCES["legend_shift"]:
                    findings.append("legend entry %s: %.1f px from Calc's" % (hexc, d))
            elif c in la or c in lb:
                findings.append("legend entry %s: in %s only" % (hexc, "Calc" if c in la else "ours"))
    known = [f for f in findings if any(f.startswith(k) for k in spec.get("known", []))]
    if known:
        figures["known_differences"] = known
    return figures, [f for f in findings if f not in known]


# What each chart of calc_chart_workbooks.py holds, for finding its elements.
SPECS = {
    "charts_basic.xlsx": [
        {"kind": "column", "plot": "d9d9d9", "series": ["004586", "ff420e", "ffd320"], "legend": "right"},
        {"kind": "line", "plot": "d9d9d9", "series": ["c0392b", "ffd320"], "paths": True, "legend": "bottom"},
        # Calc draws this pie smaller than its room (a diameter some 14 px less) and right of its
        # middle; the program fills the room. The box and the labels' places are known to
        # differ (and so the whole picture, under a ceiling of its own); each slice's share of
        # the pie and the legend still compare.
        {"kind": "pie", "series": ["004586", "ff420e", "ffd320", "579d1c"], "legend": "right", "pie_width": 0.8,
         "known": ["pie:", "data_labels:"], "whole": 25.0},
        {"kind": "scatter", "plot": "d9d9d9", "series": ["004586"], "paths": True, "legend": "right"},
    ],
    "charts_more.xlsx": [
        {"kind": "bar", "plot": "fff2cc", "series": ["004586", "ff420e"]},
        {"kind": "smooth line", "plot": "d9d9d9", "series": ["2e7d32"], "paths": True, "legend": "right"},
        {"kind": "doughnut", "series": ["004586", "ff420e", "ffd320"], "pie_width": 1.0, "pie_height": 0.9},
        {"kind": "scatter markers", "plot": "d9d9d9", "series": ["6a1b9a"], "legend": "right"},
    ],
}


def main():
    work, render = os.path.abspath(sys.argv[1]), sys.argv[2]
    evidence = os.path.join(work, "evidence")
    os.makedirs(evidence, exist_ok=True)
    sys.path.insert(0, FIXTURES)
    import calc_chart_workbooks
    desk = Desktop(work)
    report = {"tolerances": TOLERANCES, "charts": []}
    try:
        calc = Calc(desk, work)
        books = calc_chart_workbooks.make(calc, work)
        for book in books:
            path = os.path.join(work, book)
            stem = os.path.join(evidence, os.path.splitext(book)[0] + "-")
            shots = grab_charts(desk, calc, path, stem)
            for i, shot in enumerate(shots):
                ours = "%s%d-ours.png" % (stem, i + 1)
                subprocess.run([render, path, "Data", "`%d" % (i + 1), ours], check=True, capture_output=True,
                               env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
                spec = SPECS[book][i]
                figures, findings = compare(shot, ours, spec, "%s%d-side.png" % (stem, i + 1))
                report["charts"].append({"workbook": book, "chart": i + 1, "kind": spec["kind"],
                                         "figures": figures, "findings": findings,
                                         "pictures": "%s%d-side.png" % (stem, i + 1)})
        calc.quit()
    finally:
        desk.stop()
    print(json.dumps(report))


if __name__ == "__main__":
    main()
