"""Workbooks for the range checks, built in LibreOffice Calc as a user builds them and saved by
it as .xlsx, so that every width, height, font and format is the one Calc writes.

- ranges_report.xlsx, sheet "Report": a merged bold title over a table of regions with
  currency, percent and date columns in several widths, a hidden column, coloured borders, a
  serif and a larger font, the header rows frozen and the sheet saved scrolled down;
- ranges_cells.xlsx, sheet "Cells": wrapped text in rows of automatic height, text turned 90
  degrees, an error, numbers too wide for their columns, hair and dotted borders, columns of
  many widths.

make(calc, out) is called by calc_bridge.py with Calc running; it answers the file names."""

import os

from com.sun.star.table import BorderLine2
from com.sun.star.lang import Locale

BOLD = 150.0  # com.sun.star.awt.FontWeight.BOLD
CENTER = 2    # com.sun.star.table.CellHoriJustify.CENTER
RIGHT = 3     # com.sun.star.table.CellHoriJustify.RIGHT
SOLID, DOTTED = 0, 1  # com.sun.star.table.BorderLineStyle


def number_format(doc, code):
    formats = doc.NumberFormats
    locale = Locale("en", "US", "")
    key = formats.queryKey(code, locale, False)
    return key if key >= 0 else formats.addNew(code, locale)


def line(color, width, style=SOLID):
    b = BorderLine2()
    b.Color = color
    b.LineWidth = width  # 1/100 mm
    b.OuterLineWidth = width
    b.LineStyle = style
    return b


def box(cells, border):
    cells.TopBorder = border
    cells.BottomBorder = border
    cells.LeftBorder = border
    cells.RightBorder = border


def report(calc, out):
    doc = calc.new_document()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Report"
    # Widths in 1/100 mm, as the column width dialog takes them: 2.14 cm and 2.18 cm among them.
    for i, width in enumerate([2800, 2140, 2180, 1700, 2500, 3100, 1900]):
        sheet.Columns.getByIndex(i).Width = width
    title = sheet.getCellRangeByName("A1:G1")
    title.merge(True)
    cell = sheet.getCellRangeByName("A1")
    cell.String = "Quarterly sales by region"
    cell.CharWeight = BOLD
    cell.CharHeight = 16
    cell.HoriJustify = CENTER
    cell.CellBackColor = 0xDDEBF7
    sheet.getCellRangeByName("A2:G2").setDataArray(
        (("Region", "Revenue", "Cost", "Margin", "Closed", "Manager", "Notes"),))
    header = sheet.getCellRangeByName("A2:G2")
    header.CharWeight = BOLD
    header.CellBackColor = 0x4472C4
    header.CharColor = 0xFFFFFF
    rows = [
        ("North", 1234567.89, 345678.5, 0.72, 45306, "Ann Lee", "on plan"),
        ("South", 98765.4, 87654.32, 0.113, 45337, "Bo Chan", "late"),
        ("East", 143210.0, 50000.0, 0.651, 45366, "Cy Diaz", ""),
        ("West", 7700.25, 9100.0, -0.182, 45397, "Di Eze", "review"),
        ("Central", 250000.0, 125000.0, 0.5, 45427, "Ed Fox", ""),
    ]
    for r, values in enumerate(rows):
        for c, v in enumerate(values):
            target = sheet.getCellByPosition(c, r + 2)
            if isinstance(v, str):
                target.String = v
            else:
                target.Value = v
    sheet.getCellRangeByName("B3:C7").NumberFormat = number_format(doc, '[$$-409]#,##0.00;[RED]-[$$-409]#,##0.00')
    sheet.getCellRangeByName("D3:D7").NumberFormat = number_format(doc, "0.0%")
    sheet.getCellRangeByName("E3:E7").NumberFormat = number_format(doc, "YYYY-MM-DD")
    names = sheet.getCellRangeByName("F3:F7")
    names.CharFontName = "Liberation Serif"
    names.CharHeight = 12
    notes = sheet.getCellRangeByName("G3:G7")
    notes.CharFontName = "DejaVu Sans"
    notes.CharHeight = 9
    notes.CharPosture = 2  # com.sun.star.awt.FontSlant.ITALIC
    notes.CharColor = 0x7030A0
    box(sheet.getCellRangeByName("A3:G7"), line(0xC00000, 26))
    sheet.getCellRangeByName("A8").String = "Total"
    sheet.getCellRangeByName("A8").CharWeight = BOLD
    sheet.getCellRangeByName("B8").Formula = "=SUM(B3:B7)"
    sheet.getCellRangeByName("B8:C8").NumberFormat = number_format(doc, "#,##0")
    sheet.getCellRangeByName("C8").Formula = "=SUM(C3:C7)"
    sheet.getCellRangeByName("A8:G8").TopBorder = line(0x00B050, 53)
    # The manager's column is hidden; the notes column stays.
    sheet.Columns.getByIndex(5).IsVisible = False
    # Rows far below, so that the sheet can be saved scrolled away from the table.
    for r in range(9, 80):
        sheet.getCellByPosition(0, r).Value = r
    ctrl = doc.CurrentController
    ctrl.setActiveSheet(sheet)
    ctrl.freezeAtPosition(0, 2)
    ctrl.setFirstVisibleRow(40)
    name = "ranges_report.xlsx"
    calc.save_xlsx(doc, os.path.join(out, name))
    doc.close(True)
    return name


def cells(calc, out):
    doc = calc.new_document()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Cells"
    for i, width in enumerate([2000, 3000, 1200, 2600, 900, 4000, 2290]):
        sheet.Columns.getByIndex(i).Width = width
    wrapped = sheet.getCellRangeByName("B2")
    wrapped.String = "A longer note that wraps over several lines"
    wrapped.IsTextWrapped = True
    short = sheet.getCellRangeByName("F2")
    short.String = "Wrapped too"
    short.IsTextWrapped = True
    sheet.getCellRangeByName("A2").String = "Turned"
    sheet.getCellRangeByName("A2").RotateAngle = 9000
    sheet.getCellRangeByName("D2").Value = 42
    sheet.getCellRangeByName("D2").RotateAngle = 9000
    sheet.getCellRangeByName("C3").Formula = "=1/0"
    sheet.getCellRangeByName("C4").Formula = "=NA()"
    wide = sheet.getCellRangeByName("C5")
    wide.Value = 1234567.89
    wide.NumberFormat = number_format(doc, "#,##0.00")
    tiny = sheet.getCellRangeByName("E5")
    tiny.Value = 98765
    sheet.getCellRangeByName("D4").Value = 3.14159
    sheet.getCellRangeByName("D3").Formula = "=TRUE()"
    sheet.getCellRangeByName("B4").String = "Left"
    sheet.getCellRangeByName("B5").String = "Right"
    sheet.getCellRangeByName("B5").HoriJustify = RIGHT
    sheet.getCellRangeByName("F4").String = "Centred"
    sheet.getCellRangeByName("F4").HoriJustify = CENTER
    box(sheet.getCellRangeByName("B4:B5"), line(0x0070C0, 2))
    box(sheet.getCellRangeByName("F4:F5"), line(0x000000, 26, DOTTED))
    sheet.getCellRangeByName("G3").String = "Large"
    sheet.getCellRangeByName("G3").CharHeight = 18
    sheet.getCellRangeByName("G4").String = "Small"
    sheet.getCellRangeByName("G4").CharHeight = 8
    sheet.getCellRangeByName("G5").String = "Serif"
    sheet.getCellRangeByName("G5").CharFontName = "Liberation Serif"
    sheet.Rows.getByIndex(1).OptimalHeight = True
    name = "ranges_cells.xlsx"
    calc.save_xlsx(doc, os.path.join(out, name))
    doc.close(True)
    return name


def make(calc, out):
    return [report(calc, out), cells(calc, out)]
