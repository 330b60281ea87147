"""A workbook for checking the fidelity harness itself: empty cells in columns and rows of
several sizes, built in Calc and saved by it as .xlsx, so that nothing but grid lines shows.

make(calc, out) is called by calc_bridge.py with Calc running; it answers the file names."""

import os


def make(calc, out):
    doc = calc.new_document()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Grid"
    for i, width in enumerate([1500, 2140, 900, 3333, 2180, 600, 4100]):
        sheet.Columns.getByIndex(i).Width = width
    sheet.Columns.getByIndex(3).IsVisible = False
    for i, height in enumerate([452, 800, 300, 1000, 451, 640]):
        sheet.Rows.getByIndex(i).Height = height
    name = "harness_grid.xlsx"
    calc.save_xlsx(doc, os.path.join(out, name))
    doc.close(True)
    return [name]
