// Range capture at paste and range relocation in newer versions of a panel's workbook: the
// stored texts PicRange, RowHeights, ColWidths and ContentMatch, read and written here.

#include "model/clsWorkspacePanel.h"

#include "model/ContentMatch.h"
#include "platform/workbook/Workbook.h"
#include "services/UserPrompts.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsLog.h"

#include <QLocale>

#include <algorithm>
#include <functional>

namespace {

const QString kModule = QStringLiteral("clsWorkspacePanel");
constexpr QChar kBQ = QLatin1Char('`');

QStringList SplitBQ(const QString& text) { return text.split(kBQ, Qt::KeepEmptyParts); }

xl::Worksheet* NeedSheet(xl::Worksheet* ws) {
    if (!ws)
        throw xl::Error(QStringLiteral("Object variable or With block variable not set"));
    return ws;
}

QString ErrorText(const std::exception& e) { return QString::fromStdString(e.what()); }

// Written with a point whatever the locale, so that a repository or shared file written on one
// machine reads the same on another; float noise of the file's heights (14.3999996) rounded off.
QString SizeText(double value) {
    QString t = QLocale::c().toString(value, 'f', 4);
    while (t.endsWith(QLatin1Char('0')))
        t.chop(1);
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    return t;
}

// Reads a stored size the lenient way: blanks before it skipped, a point or a comma as the
// decimal separator (texts written on a decimal-comma machine), and stopping at the first
// character it can't use; 0 when nothing can be read.
double SizeValue(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    QString number;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        number.append(text[i++]);
    bool separator = false;
    for (; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch.isDigit() && ch.unicode() < 128) {
            number.append(ch);
        } else if ((ch == u'.' || ch == u',') && !separator) {
            separator = true;
            number.append(QLatin1Char('.'));
        } else {
            break;
        }
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(number, &ok);
    return ok ? v : 0.0;
}

// A run of the range moves with it; the runs of the fixed rows (columns), which come first on
// the sheet, never do. Without fixed rows the last fixed row is 0 and every run moves.
bool RunMoves(int32_t firstOfRun, int32_t lastFixed) { return firstOfRun > lastFixed; }

}  // namespace

void clsWorkspacePanel::parseContentMatch(QString& botRng, QString& aRng, QString& Content) const {
    ::parseContentMatch(ContentMatch, botRng, aRng, Content);
}

// ---- capture ------------------------------------------------------------------------------

bool clsWorkspacePanel::PasteRange(xl::Worksheet* UserWS, const QString& RangeDefs) {
    try {
        if (!CaptureSelection(NeedSheet(UserWS), RangeDefs))
            return false;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("PasteRange"), ErrNum::kGeneral,
                 QStringLiteral("The copied range \"%1\" can't be taken: %2").arg(RangeDefs, ErrorText(e)),
                 true);
        return false;
    }
    try {
        CaptureHeightsWidths(UserWS);
    } catch (const std::exception& e) {
        // The range is captured; the picture only lacks some stored sizes.
        LogError(kModule, QStringLiteral("CaptureHeightsWidths"), ErrNum::kGeneral, ErrorText(e),
                 false);
    }
    return true;
}

bool clsWorkspacePanel::CaptureSelection(xl::Worksheet* ws, const QString& RangeDefs) {
    const QStringList defs = SplitBQ(RangeDefs);
    const xl::Range selection = ws->Range(defs.front());
    const xl::Range mainPane = ws->Range(defs.back());
    const auto cut = xl::Application::Intersect(selection, mainPane);
    if (!cut) {
        MsgBox(QStringLiteral("No range of cells selected in the spreadsheet.  Please select a "
                              "range and paste again."),
               vbExclamation | vbOKOnly);
        return false;
    }
    movRange = cut->Address();
    pFixRow1 = pFixRow2 = 0;
    pFixCol1.clear();
    pFixCol2.clear();

    auto takeColumns = [&](const xl::Range& p) {
        pFixCol1 = ColumnLetters(p.Column());
        pFixCol2 = ColumnLetters(p.Column() + int32_t(p.Columns().Count()) - 1);
    };
    auto takeRows = [&](const xl::Range& p) {
        pFixRow1 = p.Row();
        pFixRow2 = p.Row() + int32_t(p.Rows().Count()) - 1;
    };

    if (defs.size() == 3) {
        const xl::Range p = ws->Range(defs[1]);
        const xl::Range q = ws->Range(defs[2]);
        if (p.Row() == q.Row()) {
            if (p.Column() > q.Column()) {
                MsgBox(QStringLiteral("The fixed columns must be on the left of the columns in the "
                                      "right pane of the spreadsheet.") +
                           QStringLiteral("Please scroll the sheet so that the left side shows "
                                          "columns on the left of the right pane."),
                       vbExclamation | vbOKOnly);
                return false;
            }
            takeColumns(p);
        } else {
            if (p.Row() > q.Row()) {
                MsgBox(QStringLiteral("The fixed rows must be above the rows in the bottom pane of "
                                      "the spreadsheet.") +
                           QStringLiteral("Please scroll the sheet so that the top pane shows rows "
                                          "that are above the lower pane's."),
                       vbExclamation | vbOKOnly);
                return false;
            }
            takeRows(p);
        }
    } else if (defs.size() == 5) {
        const xl::Range p = ws->Range(defs[1]);
        if (p.Row() > selection.Row() || p.Column() > selection.Column()) {
            MsgBox(QStringLiteral("The fixed rows and columns must be above and to the left of the "
                                  "contents of the bottom pane of the spreadsheet.") +
                       QStringLiteral("Please scroll the sheet to correct the problem."),
                   vbExclamation | vbOKOnly);
            return false;
        }
        takeColumns(p);
        takeRows(p);
    }

    PicRange = movRange + kBQ;
    BuildPicRange();
    return true;
}

void clsWorkspacePanel::BuildPicRange() {
    if (pFixRow1 > 0)
        PicRange += QString::number(pFixRow1) + QLatin1Char(':') + QString::number(pFixRow2);
    PicRange += kBQ;
    if (!pFixCol1.isEmpty())
        PicRange += pFixCol1 + QLatin1Char(':') + pFixCol2;
}

void clsWorkspacePanel::CaptureHeightsWidths(xl::Worksheet* ws) {
    const xl::Range r = ws->Range(movRange);
    GetHeights(ws, r.Row(), r.Row() + int32_t(r.Rows().Count()) - 1);
    if (pFixRow1 > 0) {
        RowHeights += kBQ;
        GetHeights(ws, pFixRow1, pFixRow2);
    }
    if (RowHeights.size() > 255)
        MsgBox(QStringLiteral("Too many different row heights. Some hidden rows may appear in the "
                              "future."),
               vbInformation | vbOKOnly);

    GetWidths(ws, r.Column(), r.Column() + int32_t(r.Columns().Count()) - 1);
    if (!pFixCol1.isEmpty()) {
        ColWidths += kBQ;
        GetWidths(ws, ColumnNumber(ws, pFixCol1), ColumnNumber(ws, pFixCol2));
    }
    if (ColWidths.size() > 255)
        MsgBox(QStringLiteral("Too many different column widths. Some hidden columns may appear in "
                              "the future."),
               vbInformation | vbOKOnly);
}

namespace {

// Appends the runs of equal sizes of items start to last as "<first>:<last>=<size>".
QString SizeRuns(int32_t start, int32_t last, const std::function<double(int32_t)>& sizeOf,
                 const std::function<QString(int32_t)>& name) {
    QString out;
    int32_t runStart = start, runEnd = start;
    double h = sizeOf(start);
    auto addRun = [&] {
        out += name(runStart) + QLatin1Char(':') + name(runEnd) + QLatin1Char('=') + SizeText(h);
    };
    for (int32_t i = start + 1; i <= last; ++i) {
        const double size = sizeOf(i);
        if (size != h) {
            addRun();
            out += kBQ;
            runStart = runEnd = i;
            h = size;
        } else {
            runEnd = i;
        }
    }
    addRun();
    return out;
}

}  // namespace

void clsWorkspacePanel::GetHeights(xl::Worksheet* ws, int32_t start, int32_t last) {
    NeedSheet(ws);
    RowHeights += SizeRuns(
        start, last, [&](int32_t r) { return ws->Rows(r).RowHeight(); },
        [](int32_t r) { return QString::number(r); });
}

void clsWorkspacePanel::GetWidths(xl::Worksheet* ws, int32_t start, int32_t last) {
    NeedSheet(ws);
    ColWidths += SizeRuns(
        start, last, [&](int32_t c) { return ws->Columns(c).ColumnWidth(); },
        [](int32_t c) { return ColumnLetters(c); });
}

// ---- relocation ---------------------------------------------------------------------------

void clsWorkspacePanel::ParsePicRange() {
    if (!movRange.isEmpty())
        return;
    // Everything is decoded before anything is kept, so a text that can't be read leaves the
    // record as it was.
    const QStringList parts = SplitBQ(PicRange);
    int32_t row1 = pFixRow1, row2 = pFixRow2;
    QString col1 = pFixCol1, col2 = pFixCol2;
    if (parts.size() >= 2 && !parts[1].isEmpty()) {
        const QString& p = parts[1];
        const qsizetype colon = p.indexOf(QLatin1Char(':'));
        bool ok1 = false, ok2 = false;
        if (colon >= 0) {
            row1 = p.left(colon).trimmed().toInt(&ok1);
            row2 = p.mid(colon + 1).trimmed().toInt(&ok2);
        }
        if (!ok1 || !ok2 || row1 < 1 || row2 < row1 || row2 > xl::kMaxRows)
            throw xl::Error(QStringLiteral("the fixed rows \"%1\" are not rows of the sheet").arg(p));
    }
    if (parts.size() >= 3 && !parts[2].isEmpty()) {
        const QString& p = parts[2];
        const qsizetype colon = p.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            col1 = p.left(colon).trimmed();
            col2 = p.mid(colon + 1).trimmed();
        }
        const int32_t n1 = xl::ColumnIndex(col1), n2 = xl::ColumnIndex(col2);
        if (colon < 0 || n1 < 1 || n2 < n1)
            throw xl::Error(
                QStringLiteral("the fixed columns \"%1\" are not columns of the sheet").arg(p));
    }
    movRange = parts.front();
    pFixRow1 = row1;
    pFixRow2 = row2;
    pFixCol1 = col1;
    pFixCol2 = col2;
}

bool clsWorkspacePanel::LocateRange(xl::Worksheet* WSheet, QString& why) {
    pRowShift = pColShift = 0;
    try {
        NeedSheet(WSheet);
        ParsePicRange();
        QString result;
        if (RelativeTo == QLatin1String("bottom"))
            result = FromBottomRight(WSheet);
        else if (RelativeTo == QLatin1String("contents"))
            result = FromAnchor(WSheet);
        else
            result = movRange;
        const qsizetype bq = result.indexOf(kBQ);
        if (bq >= 0)
            result.truncate(bq);
        if (result.isEmpty())
            throw xl::Error(QStringLiteral("no range is stored"));
        if (!xl::ParseRange(result))
            throw xl::Error(QStringLiteral("\"%1\" is not a range of the sheet").arg(result));
        pAdjMovRange = result;
        return true;
    } catch (const std::exception& e) {
        why = QStringLiteral("The range \"%1\" of panel %2 could not be located on sheet \"%3\": %4")
                  .arg(PicRange)
                  .arg(ID)
                  .arg(WSheet ? WSheet->Name() : SheetName, ErrorText(e));
    }
    // Rendered where it was stored, when that is a range at all.
    pRowShift = pColShift = 0;
    const QString stored = movRange.isEmpty() ? SplitBQ(PicRange).front() : movRange;
    pAdjMovRange = xl::ParseRange(stored) ? stored : QString();
    return false;
}

bool clsWorkspacePanel::GetAdjRange(xl::Worksheet* WSheet) {
    QString why;
    if (LocateRange(WSheet, why))
        return true;
    LogError(kModule, QStringLiteral("GetAdjRange"), ErrNum::kGeneral, why, false);
    return false;
}

QString clsWorkspacePanel::FromBottomRight(xl::Worksheet* WSheet) {
    NeedSheet(WSheet);
    QString storedBottom, anchor, content;
    parseContentMatch(storedBottom, anchor, content);
    const QString newBottom = RealBottomRight(WSheet);
    if (newBottom.isEmpty())
        throw xl::Error(QStringLiteral("the sheet has no used cell"));
    if (storedBottom.size() < 2)
        storedBottom = newBottom;
    const QString result = MoveRangeAddress(WSheet, movRange, storedBottom, newBottom);
    const xl::Range moved = WSheet->Range(result), stored = WSheet->Range(movRange);
    pColShift = moved.Column() - stored.Column();
    pRowShift = moved.Row() - stored.Row();
    return result;
}

QString clsWorkspacePanel::FromAnchor(xl::Worksheet* WSheet) {
    QString bottom, storedAnchor;
    parseContentMatch(bottom, storedAnchor, Content);
    auto noMove = [&] {
        pRowShift = pColShift = 0;
        NewCell = storedAnchor;
        return PicRange;
    };
    if (Content.isEmpty() || storedAnchor.size() < 2)
        return noMove();
    try {
        xl::Worksheet* ws = NeedSheet(WSheet);
        auto need = [&](std::optional<xl::Range> found) {
            if (!found)
                throw xl::Error(QStringLiteral("\"%1\" is not on the sheet").arg(Content));
            return *found;
        };
        const bool dollarLater = storedAnchor.indexOf(QLatin1Char('$'), 1) >= 1;
        int32_t foundRow = 0, foundCol = 0;
        if (storedAnchor.startsWith(QLatin1Char('$'))) {
            anchorCols = true;
            if (dollarLater) {
                anchorRows = true;
                NewCell = storedAnchor;
                return movRange;
            }
            anchorRows = false;
            foundCol = ws->Range(storedAnchor).Column();
            const xl::Range used = ws->UsedRange();
            const int32_t lastRow = used.Row() + int32_t(used.Rows().Count()) - 1;
            const xl::Range column = ws->Range(ws->Cells(1, foundCol), ws->Cells(lastRow, foundCol));
            foundRow = need(column.Find(Content, std::nullopt, xl::xlValues, xl::xlWhole,
                                        xl::xlByRows, xl::xlNext))
                           .Row();
        } else {
            anchorCols = false;
            anchorRows = true;
            if (!dollarLater) {
                // Two independent searches: with several matches the cell joins the topmost
                // match's row to the leftmost match's column.
                const xl::Range all = ws->Cells();
                foundRow = need(all.Find(Content, std::nullopt, xl::xlValues, xl::xlWhole,
                                         xl::xlByRows, xl::xlNext))
                               .Row();
                foundCol = need(all.Find(Content, std::nullopt, xl::xlValues, xl::xlWhole,
                                         xl::xlByColumns, xl::xlNext))
                               .Column();
            } else {
                foundRow = ws->Range(storedAnchor).Row();
                const xl::Range used = ws->UsedRange();
                const int32_t lastCol = used.Column() + int32_t(used.Columns().Count()) - 1;
                const xl::Range row = ws->Range(ws->Cells(foundRow, 1), ws->Cells(foundRow, lastCol));
                foundCol = need(row.Find(Content, std::nullopt, xl::xlValues, xl::xlWhole,
                                         xl::xlByColumns, xl::xlNext))
                               .Column();
            }
        }
        NewCell = ws->Cells(foundRow, foundCol).Address();
        const QString result = MoveRangeAddress(ws, movRange, storedAnchor, NewCell);
        const xl::Range moved = ws->Range(result), stored = ws->Range(movRange);
        pColShift = moved.Column() - stored.Column();
        pRowShift = moved.Row() - stored.Row();
        NewCell = (anchorCols ? QStringLiteral("$") : QString()) + ColumnLetters(foundCol) +
                  (anchorRows ? QStringLiteral("$") : QString()) + QString::number(foundRow);
        return result;
    } catch (const std::exception& e) {
        LogEvent(kModule, QStringLiteral("FromAnchor"),
                 QStringLiteral("Panel %1 keeps its range: anchor %2: %3")
                     .arg(ID)
                     .arg(storedAnchor, ErrorText(e)),
                 false);
        return noMove();
    }
}

void clsWorkspacePanel::CalcPicRange(xl::Worksheet* ws) {
    const xl::Range r = NeedSheet(ws)->Range(pAdjMovRange);
    int32_t c1 = r.Column(), c2 = c1 + int32_t(r.Columns().Count()) - 1;
    int32_t r1 = r.Row(), r2 = r1 + int32_t(r.Rows().Count()) - 1;
    if (!pFixCol1.isEmpty()) {
        const int32_t f1 = ColumnNumber(ws, pFixCol1), f2 = ColumnNumber(ws, pFixCol2);
        if (f1 > 1)
            ws->Columns(ColumnLetters(1) + QLatin1Char(':') + ColumnLetters(f1 - 1)).SetColumnWidth(0);
        if (c1 - 1 >= f2 + 1)
            ws->Columns(ColumnLetters(f2 + 1) + QLatin1Char(':') + ColumnLetters(c1 - 1))
                .SetColumnWidth(0);
        c1 = std::min(c1, f1);
        c2 = std::max(c2, f2);
    }
    if (pFixRow1 > 0) {
        if (pFixRow1 > 1)
            ws->Rows(QStringLiteral("1:%1").arg(pFixRow1 - 1)).SetRowHeight(0);
        if (r1 - 1 >= pFixRow2 + 1)
            ws->Rows(QStringLiteral("%1:%2").arg(pFixRow2 + 1).arg(r1 - 1)).SetRowHeight(0);
        r1 = std::min(r1, pFixRow1);
        r2 = std::max(r2, pFixRow2);
    }
    pAdjPicRange = ColumnLetters(c1) + QString::number(r1) + QLatin1Char(':') + ColumnLetters(c2) +
                   QString::number(r2);
}

QString clsWorkspacePanel::adjRange(xl::Worksheet* WSheet) {
    try {
        CalcPicRange(WSheet);
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("adjRange"), ErrNum::kGeneral,
                 QStringLiteral("The picture range of panel %1 (%2) can't be built: %3")
                     .arg(ID)
                     .arg(pAdjMovRange, ErrorText(e)),
                 false);
        pAdjPicRange.clear();
        return QString();
    }
    adjHeightWidths(WSheet);
    return pAdjPicRange;
}

namespace {

// The last fixed row / column as a number; 0 when there are none.
int32_t LastFixedRow(int32_t fixRow1, int32_t fixRow2) { return fixRow1 > 0 ? fixRow2 : 0; }
int32_t LastFixedCol(xl::Worksheet* ws, const QString& fixCol1, const QString& fixCol2) {
    return fixCol1.isEmpty() ? 0 : ColumnNumber(ws, fixCol2);
}

}  // namespace

void clsWorkspacePanel::adjHeightWidths(xl::Worksheet* ws) {
    // Runs of one text onto the sheet: elements without "=" are passed over.
    auto apply = [&](const QString& runs, int32_t shift, int32_t lastFixed,
                     const std::function<int32_t(const QString&)>& firstOf,
                     const std::function<QString(const QString&, int32_t)>& move,
                     const std::function<void(const QString&, double)>& set) {
        if (runs.isEmpty())
            return;
        for (const QString& run : SplitBQ(runs)) {
            const qsizetype eq = run.indexOf(QLatin1Char('='));
            if (eq < 0)
                continue;
            QString address = run.left(eq);
            if (shift != 0 && RunMoves(firstOf(address), lastFixed))
                address = move(address, shift);
            set(address, SizeValue(QStringView(run).mid(eq + 1)));
        }
    };
    try {
        NeedSheet(ws)->Activate();
        ws->Cells(1, 1).Select();
        apply(
            RowHeights, pRowShift, LastFixedRow(pFixRow1, pFixRow2),
            [&](const QString& a) { return ws->Rows(a).Row(); },
            [&](const QString& a, int32_t n) { return ShiftRowsAddress(ws, a, n); },
            [&](const QString& a, double v) { ws->Rows(a).SetRowHeight(v); });
        apply(
            ColWidths, pColShift, LastFixedCol(ws, pFixCol1, pFixCol2),
            [&](const QString& a) { return ws->Columns(a).Column(); },
            [&](const QString& a, int32_t n) { return ShiftColsAddress(ws, a, n); },
            [&](const QString& a, double v) { ws->Columns(a).SetColumnWidth(v); });
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("AdjHeightWidths"), ErrNum::kGeneral, ErrorText(e), true);
    }
}

void clsWorkspacePanel::ShiftHeightsWidths(xl::Worksheet* ws) {
    auto shiftRuns = [&](const QString& runs, int32_t shift, int32_t lastFixed,
                         const std::function<int32_t(const QString&)>& firstOf,
                         const std::function<QString(const QString&, int32_t)>& move) {
        QStringList out;
        for (const QString& run : SplitBQ(runs)) {
            const qsizetype eq = run.indexOf(QLatin1Char('='));
            if (eq < 0)
                throw xl::Error(QStringLiteral("the stored size \"%1\" has no \"=\"").arg(run));
            QString address = run.left(eq);
            if (shift == 0)
                address = move(address, 0);
            else if (RunMoves(firstOf(address), lastFixed))
                address = move(address, shift);
            if (!xl::ParseRange(address))
                throw xl::Error(QStringLiteral("the stored size \"%1\" would move off the sheet").arg(run));
            out << address + run.mid(eq);
        }
        return out.join(kBQ);
    };
    // Both texts are made before either is kept, so a failure leaves them as they were.
    QString rows = RowHeights, cols = ColWidths;
    if (!RowHeights.isEmpty())
        rows = shiftRuns(
            RowHeights, pRowShift, LastFixedRow(pFixRow1, pFixRow2),
            [&](const QString& a) { return ws->Rows(a).Row(); },
            [&](const QString& a, int32_t n) { return ShiftRowsAddress(ws, a, n); });
    if (!ColWidths.isEmpty())
        cols = shiftRuns(
            ColWidths, pColShift, LastFixedCol(ws, pFixCol1, pFixCol2),
            [&](const QString& a) { return ws->Columns(a).Column(); },
            [&](const QString& a, int32_t n) { return ShiftColsAddress(ws, a, n); });
    RowHeights = rows;
    ColWidths = cols;
}

void clsWorkspacePanel::AdjustAll(xl::Worksheet* ws) {
    // A relocation that can't be completed keeps every stored text: the update pass saves the
    // record afterwards, and blanks saved there would lose the panel's range for good.
    auto keep = [&](const QString& why) {
        LogEvent(kModule, QStringLiteral("AdjustAll"), why + QStringLiteral(" The stored range is kept."),
                 false);
    };
    QString why;
    if (!LocateRange(ws, why))
        return keep(why);
    const QString bottom = RealBottomRight(ws);
    if (bottom.isEmpty())
        return keep(QStringLiteral("Sheet \"%1\" of panel %2 is empty.").arg(ws->Name()).arg(ID));
    try {
        ShiftHeightsWidths(ws);
    } catch (const std::exception& e) {
        return keep(QStringLiteral("The stored sizes of panel %1 can't be moved: %2")
                        .arg(ID)
                        .arg(ErrorText(e)));
    }
    PicRange = pAdjMovRange + kBQ;
    BuildPicRange();
    // The record now stores the found range; a render from this same record must not move
    // it a second time from the old one.
    movRange = pAdjMovRange;
    ContentMatch = QStringLiteral("bottom=") +
                   (RelativeTo == QLatin1String("bottom") ? bottom : QString()) + kBQ +
                   QStringLiteral("anchor=") +
                   (RelativeTo == QLatin1String("contents") ? NewCell : QString()) + kBQ +
                   QStringLiteral("content=") + Content;
}

void clsWorkspacePanel::SetAnchorDefaults(xl::Worksheet* ws) {
    try {
        const xl::Range r = NeedSheet(ws)->Range(pAdjMovRange);
        // Cells beyond the used range are empty: only the part inside it is read.
        const auto inUse = xl::Application::Intersect(r, ws->UsedRange());
        if (!inUse)
            return;
        const xl::RangeRef& a = inUse->Ref();
        for (int32_t row = a.row1; row <= a.row2; ++row) {
            if (ws->RowHeight(row) == 0)
                continue;
            for (int32_t col = a.col1; col <= a.col2; ++col) {
                if (ws->ColumnWidth(col) == 0)
                    continue;
                // The text as displayed: the relocation finds the anchor by what the sheet
                // shows (50%, not 0.5).
                const xl::Range cell = ws->Cells(row, col);
                const QString text = cell.Text();
                if (text.isEmpty())
                    continue;
                NewCell = cell.Address();
                Content = text;
                anchorCols = true;
                anchorRows = false;
                return;
            }
        }
    } catch (const std::exception& e) {
        LogEvent(kModule, QStringLiteral("SetAnchorDefaults"), ErrorText(e), false);
    }
}
