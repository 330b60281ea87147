#pragma once
// Panels on real workbooks made by openpyxl (tests/fixtures): a hidden instance of the workbook
// engine, the selection-and-panes text the panel window hands over at paste, and comparisons
// of a range's cells and sizes between two versions of a workbook.

#include "ModelTestSupport.h"

#include "model/clsWorkspacePanel.h"
#include "platform/workbook/Workbook.h"
#include "services/UserPrompts.h"
#include "services/modUtilsExcel.h"

#include <QFileInfo>

inline QString FixturePath(const QString& name) { return QStringLiteral(SB_FIXTURE_DIR "/") + name; }

class RelocationTest : public ModelTest {
protected:
    void SetUp() override {
        ModelTest::SetUp();
        for (const char* name : {"relocation.xlsx", "panes.xlsx", "sizes.xlsx", "report_v1.xlsx",
                                 "report_v2.xlsx"})
            ASSERT_TRUE(QFileInfo::exists(FixturePath(QLatin1String(name))))
                << "fixture not made: " << name
                << " (the build makes it with python3-openpyxl and python3-pil: scripts/install-deps --test)";
        ASSERT_TRUE(Excel_Init(XL));
    }
    void TearDown() override {
        Excel_Exit(XL);
        ModelTest::TearDown();
    }

    xl::Worksheet* Sheet(const QString& file, const QString& sheet) {
        xl::Workbook* wb = XL->Workbooks().Open(FixturePath(file));
        return wb->Sheets().Item(sheet);
    }

    // What the panel window builds from the user's window: the selection (the one given, else
    // the one saved with the sheet), then each pane's visible range, the main pane last.
    static QString RangeDefsOf(xl::Worksheet* ws, const QString& selection = QString()) {
        if (selection.isEmpty())
            ws->Activate();
        else
            ws->Range(selection).Select();
        xl::Window* w = ws->Parent()->ActiveWindow();
        QString defs = w->RangeSelection().Address();
        for (const xl::Pane& p : w->Panes())
            defs += QLatin1Char('`') + p.VisibleRange().Address();
        return defs;
    }

    // A panel as a paste leaves it: captured, with the sheet's last used cell and a rule.
    static bool Capture(clsWorkspacePanel& p, xl::Worksheet* ws, const QString& rule,
                        const QString& selection = QString()) {
        p.ContentType = PanelContent::Range;
        p.SheetName = ws->Name();
        p.RelativeTo = rule;
        p.ContentMatch = QStringLiteral("bottom=") + RealBottomRight(ws);
        return p.PasteRange(ws, RangeDefsOf(ws, selection));
    }

    // Every cell's value and every row height and column width of `a` on sheet `sa`, against
    // the range of the same size at `b` on sheet `sb`; "" when they are all the same.
    static QString Differences(xl::Worksheet* sa, const QString& a, xl::Worksheet* sb,
                               const QString& b) {
        const xl::RangeRef ra = sa->Range(a).Ref(), rb = sb->Range(b).Ref();
        if (ra.Rows() != rb.Rows() || ra.Cols() != rb.Cols())
            return QStringLiteral("sizes differ: %1 and %2").arg(a, b);
        QStringList out;
        for (int32_t r = 0; r < ra.Rows(); ++r) {
            if (sa->RowHeight(ra.row1 + r) != sb->RowHeight(rb.row1 + r))
                out << QStringLiteral("height of row %1: %2 against %3")
                           .arg(ra.row1 + r)
                           .arg(sa->RowHeight(ra.row1 + r))
                           .arg(sb->RowHeight(rb.row1 + r));
            for (int32_t c = 0; c < ra.Cols(); ++c)
                if (!(sa->Value(ra.row1 + r, ra.col1 + c) == sb->Value(rb.row1 + r, rb.col1 + c)))
                    out << QStringLiteral("value at %1").arg(xl::CellAddress(ra.row1 + r, ra.col1 + c));
        }
        for (int32_t c = 0; c < ra.Cols(); ++c)
            if (sa->ColumnWidth(ra.col1 + c) != sb->ColumnWidth(rb.col1 + c))
                out << QStringLiteral("width of column %1").arg(xl::ColumnName(ra.col1 + c));
        return out.join(QStringLiteral("; "));
    }

    ExcelApp XL;
};
