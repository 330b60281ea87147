#!/usr/bin/python3
"""The fidelity checks' hand on LibreOffice Calc: one Calc running in its window on the checks'
X server, driven over UNO. It reads one JSON request a line on standard input and answers each
with one JSON line on standard output ({"ok": true, ...} or {"ok": false, "error": ...}).

Requests:
  {"cmd": "connect", "pipe": NAME, "seconds": N}   wait until Calc accepts on the pipe
  {"cmd": "make", "module": PATH, "out": FOLDER}   PATH's make(calc, out) builds workbooks in
                                                   Calc and saves them; answers their names
  {"cmd": "show", "path": FILE, "sheet": NAME, "range": "A1:E9"}
      opens FILE in Calc's window at 100 %, the range near the top left of the grid, the cell
      cursor away from it; answers the screen rectangle of every column ("cols": [[x, width],
      ...]) and row ("rows": [[y, height], ...]) of the range, as Calc's accessibility tree
      reports them (hidden ones have no width or height), and whether the line before the
      range's first column ("left_is_grid") and row ("top_is_grid") is a grid line of the sheet
      rather than the edge of the headers or of frozen panes
  {"cmd": "call", "module": PATH, "function": NAME, "args": {...}}
      PATH's NAME(calc, **args): room for checks of other kinds (charts) to ask Calc more
  {"cmd": "close"}                                 closes the shown workbook unsaved
  {"cmd": "quit"}
"""

import importlib.util
import json
import os
import sys
import time
import traceback

import uno
from com.sun.star.accessibility.AccessibleRole import MENU_BAR, TABLE
from com.sun.star.accessibility.AccessibleStateType import SHOWING
from com.sun.star.beans import PropertyValue

# A view whose zoom is set by value (com.sun.star.view.DocumentZoomType.BY_VALUE).
ZOOM_BY_VALUE = 3


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def load_module(path):
    spec = importlib.util.spec_from_file_location(os.path.splitext(os.path.basename(path))[0], path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def column_number(letters):
    n = 0
    for ch in letters.upper():
        n = n * 26 + ord(ch) - ord('A') + 1
    return n


def parse_cell(text):
    """'B12' -> (row 11, column 1), zero-based."""
    text = text.replace('$', '')
    i = 0
    while i < len(text) and text[i].isalpha():
        i += 1
    return int(text[i:]) - 1, column_number(text[:i]) - 1


def parse_range(text):
    first, _, last = text.partition(':')
    r1, c1 = parse_cell(first)
    r2, c2 = parse_cell(last or first)
    return r1, c1, r2, c2


class Calc:
    def __init__(self):
        self.context = None
        self.desktop = None
        self.doc = None

    # --- connection -----------------------------------------------------------------------
    def connect(self, pipe, seconds=240):
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + seconds
        while True:
            try:
                self.context = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                if time.time() > deadline:
                    raise RuntimeError("LibreOffice did not accept on pipe %s within %d s" % (pipe, seconds))
                time.sleep(0.5)
        self.desktop = self.context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", self.context)
        return {}

    def new_document(self):
        """An empty spreadsheet in a window of its own, as a user starts one: Calc saves the
        view of a document's window (scroll position, frozen panes, selection) with it."""
        return self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                 (prop("Hidden", False),))

    def save_xlsx(self, doc, path):
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                       (prop("FilterName", "Calc MS Excel 2007 XML"),))

    # --- requests -------------------------------------------------------------------------
    def make(self, module, out):
        os.makedirs(out, exist_ok=True)
        return {"files": load_module(module).make(self, out)}

    def show(self, path, sheet, range):
        self.close()
        self.doc = self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                                                     "_default", 0, (prop("Hidden", False),))
        if self.doc is None:
            raise RuntimeError("Calc did not open " + path)
        frame = self.doc.CurrentController.Frame
        window = frame.ContainerWindow
        # The whole screen, so that the ranges of the checks show whole.
        window.setPosSize(0, 0, 1920, 1080, 15)
        window.toFront()
        ctrl = self.doc.CurrentController
        sheet_obj = self.doc.Sheets.getByName(sheet)
        ctrl.setActiveSheet(sheet_obj)
        ctrl.ZoomType = ZOOM_BY_VALUE
        ctrl.ZoomValue = 100
        # Only the cells: no page break lines, no comment marks over them.
        ctrl.ShowPageBreaks = False
        ctrl.ShowNotes = False
        r1, c1, r2, c2 = parse_range(range)
        # The cell cursor far from the range, then the range scrolled to the top left of the
        # pane that shows it, below and right of frozen rows and columns, with the column and
        # row before it in view, so that the line before the range is a grid line of the sheet.
        ctrl.select(sheet_obj.getCellByPosition(c2 + 60, r2 + 200))
        frozen = ctrl.hasFrozenPanes()
        frozen_rows = ctrl.getSplitRow() if frozen else 0
        frozen_cols = ctrl.getSplitColumn() if frozen else 0
        ctrl.setFirstVisibleRow(max(r1 - 1, frozen_rows))
        ctrl.setFirstVisibleColumn(max(c1 - 1, frozen_cols))
        time.sleep(0.5)
        answer = self.bounds(r1, c1, r2, c2)
        answer["left_is_grid"] = c1 > 0 and (c1 < frozen_cols or c1 - 1 >= frozen_cols)
        answer["top_is_grid"] = r1 > 0 and (r1 < frozen_rows or r1 - 1 >= frozen_rows)
        return answer

    def tables(self):
        """The accessible grids of the shown sheet: one per pane."""
        found = []

        def walk(acc):
            ctx = acc.getAccessibleContext()
            role = ctx.getAccessibleRole()
            if role == TABLE:
                found.append(ctx)
                return
            if role == MENU_BAR:
                return
            n = ctx.getAccessibleChildCount()
            if n > 500:
                return
            for i in range(n):
                walk(ctx.getAccessibleChild(i))

        walk(self.doc.CurrentController.Frame.ContainerWindow)
        return found

    def cell_box(self, tables, row, col):
        """The cell's rectangle on screen, from the pane that shows it."""
        best = None
        for t in tables:
            cell = t.getAccessibleCellAt(row, col).getAccessibleContext()
            p = cell.getLocationOnScreen()
            s = cell.getSize()
            box = [p.X, p.Y, s.Width, s.Height]
            if cell.getAccessibleStateSet().contains(SHOWING):
                return box
            best = best or box
        return best

    def unmerged(self, sheet, col, row):
        cursor = sheet.createCursorByRange(sheet.getCellByPosition(col, row))
        cursor.collapseToMergedArea()
        a = cursor.getRangeAddress()
        return a.StartColumn == a.EndColumn and a.StartRow == a.EndRow

    def bounds(self, r1, c1, r2, c2):
        tables = self.tables()
        if not tables:
            raise RuntimeError("Calc's window shows no grid")
        sheet = self.doc.CurrentController.ActiveSheet
        # A merged cell's box spans its whole area: each column is measured in a row where it
        # is a cell of its own (the row below the range at the latest), each row likewise.
        cols = []
        for c in range(c1, c2 + 1):
            row = next((r for r in range(r1, r2 + 1) if self.unmerged(sheet, c, r)), r2 + 1)
            x, _, w, _ = self.cell_box(tables, row, c)
            cols.append([x, w])
        rows = []
        for r in range(r1, r2 + 1):
            col = next((c for c in range(c1, c2 + 1) if self.unmerged(sheet, c, r)), c2 + 1)
            _, y, _, h = self.cell_box(tables, r, col)
            rows.append([y, h])
        return {"cols": cols, "rows": rows}

    def call(self, module, function, args):
        return getattr(load_module(module), function)(self, **(args or {}))

    def close(self):
        if self.doc is not None:
            try:
                self.doc.close(True)
            except Exception:
                pass
            self.doc = None
        return {}


COMMANDS = {"connect", "make", "show", "call", "close"}


def main():
    calc = Calc()
    for line in sys.stdin:
        line = line.strip()
        if not line:
            continue
        try:
            request = json.loads(line)
            cmd = request.pop("cmd")
            if cmd == "quit":
                calc.close()
                print(json.dumps({"ok": True}), flush=True)
                return
            if cmd not in COMMANDS:
                raise ValueError("unknown request " + cmd)
            answer = getattr(calc, cmd)(**request)
            answer["ok"] = True
        except Exception as e:  # every failure goes back to the caller, which reports it
            answer = {"ok": False, "error": "%s: %s\n%s" % (type(e).__name__, e, traceback.format_exc())}
        print(json.dumps(answer), flush=True)


if __name__ == "__main__":
    main()
