#include "services/UserExcel.h"

#include "platform/desktop/ClipboardWatcher.h"
#include "platform/workbook/Chart.h"
#include "services/UserPrompts.h"
#include "services/modUtilsLog.h"

#include <cmath>

namespace {

const QString kModule = QStringLiteral("modUtilsExcel");
// Sizes in the descriptor are whole 1/100 mm; the drawing anchors round to EMUs. A point
// either way is the same chart.
constexpr double kSizeTolerancePoints = 1.5;

}  // namespace

xl::Range UserExcel::RangeSelection() const {
    if (Selection != SelectionKind::Range || !ActiveWindow())
        return {};
    return ActiveWindow()->RangeSelection();
}

bool UserExcel::OpenWorkbook(const QString& path) {
    try {
        workbook_ = App->Workbooks().Open(path);
        workbook_->Activate();
        return true;
    } catch (const std::exception& e) {
        workbook_ = nullptr;
        Problem = QString::fromUtf8(e.what());
        return false;
    }
}

namespace {

// A chart of the list the user picks from: its sheet, its name (or its place, for the charts
// Calc saves without one), the cell it starts in and its title, which the user sees.
QString ChartChoiceLabel(xl::Worksheet* ws, const xl::Shape& shape) {
    QString label = ws->Name() + QStringLiteral(": ") + xl::DescribeReference(shape.Reference()) +
                    QStringLiteral(" at ") + shape.TopLeftCell().Address(false, false);
    if (const xl::ChartData* chart = shape.Chart(); chart && !chart->title.isEmpty())
        label += QStringLiteral(", \"") + chart->title + QLatin1Char('"');
    return label;
}

}  // namespace

bool UserExcel::FindChart() {
    std::vector<std::pair<xl::Worksheet*, xl::Shape*>> found;
    // Every sheet is read for its charts; one that can't be read makes the workbook one that
    // can't be pasted from, as a workbook that can't be opened.
    try {
        for (int i = 1; i <= workbook_->Sheets().Count(); ++i) {
            xl::Worksheet* ws = workbook_->Sheets().Item(i);
            for (xl::Shape* shape : ws->ChartObjects().All()) {
                if (!shape->HasChart())
                    continue;
                const QSizeF size = shape->DeclaredSize();
                if (std::abs(size.width() - Copied.sizePoints.width()) <= kSizeTolerancePoints &&
                    std::abs(size.height() - Copied.sizePoints.height()) <= kSizeTolerancePoints)
                    found.emplace_back(ws, shape);
            }
        }
    } catch (const std::exception& e) {
        workbook_ = nullptr;
        Problem = QString::fromUtf8(e.what());
        return false;
    }
    if (found.empty())
        return false;
    size_t chosen = 0;
    if (found.size() > 1) {
        QStringList names;
        // Each differs from the others: sheet names are unique, and so are references on a sheet.
        for (const auto& [ws, shape] : found)
            names << ChartChoiceLabel(ws, *shape);
        const QVariant answer = AskItem(
            QStringLiteral("ChartChoice"), QStringLiteral("Paste Chart"),
            QStringLiteral("Several charts have the size of the copied one. Which one is it?"), names);
        const qsizetype at = answer.isValid() ? names.indexOf(answer.toString()) : -1;
        if (at < 0)
            return false;
        chosen = size_t(at);
    }
    sheet_ = found[chosen].first;
    sheet_->Activate();
    Selection = SelectionKind::ChartObject;
    ChartName = found[chosen].second->Reference();
    return true;
}

bool UserExcel::Attach(const desk::ClipboardSelection& copied) {
    Copied = copied;
    if (!App)
        App = std::make_shared<xl::Application>();
    App->Visible = true;
    if (!copied.IsUsable()) {
        Problem = desk::DescribeRefusal(copied);
        return false;
    }
    if (copied.kind == desk::ClipboardKind::Cells) {
        if (!OpenWorkbook(copied.workbookPath))
            return false;
        sheet_ = workbook_->Sheets().Find(copied.sheet);
        if (!sheet_) {
            Problem = QStringLiteral("The saved workbook %1 has no sheet named %2.")
                          .arg(copied.workbookPath, copied.sheet);
            return false;
        }
        try {
            sheet_->Range(copied.range).Select();
        } catch (const std::exception& e) {
            Problem = QString::fromUtf8(e.what());
            sheet_ = nullptr;
            return false;
        }
        Selection = SelectionKind::Range;
        return true;
    }
    // A chart: first in the workbook of the last cells copied, then in one the user names,
    // the dialog starting where that workbook lies.
    if (!copied.workbookPath.isEmpty() && OpenWorkbook(copied.workbookPath) && FindChart())
        return true;
    const QString path = AskOpenFile(nullptr,
                                     QStringLiteral("Select the workbook of the copied chart"),
                                     copied.workbookPath,
                                     QStringLiteral("Excel workbooks (*.xlsx *.xlsm)"));
    if (path.isEmpty()) {
        workbook_ = nullptr;
        Problem = QStringLiteral("The workbook of the copied chart is not known.");
        return false;
    }
    if (desk::CheckWorkbookFile(path) != desk::WorkbookCheck::Ok) {
        workbook_ = nullptr;
        Problem = path + QStringLiteral(" is not an .xlsx workbook.");
        return false;
    }
    if (!OpenWorkbook(path))
        return false;
    if (!FindChart()) {
        if (!workbook_)
            return false;  // a sheet of it can't be read: Problem says why
        // The workbook is known and its first sheet shows; no chart of the copied one's size
        // is in the saved file, which the paste reports naming the file.
        sheet_ = workbook_->ActiveSheet();
        Selection = SelectionKind::ChartObject;
        ChartName.clear();
    }
    return true;
}

void WatchUserSpreadsheet() { desk::ClipboardWatcher::Instance(); }

bool Excel_GetInstance(UserExcelRef& XL) {
    if (XL)
        return true;
    const desk::ClipboardSelection copied = desk::ClipboardWatcher::Instance()->Current();
    if (copied.kind == desk::ClipboardKind::Nothing &&
        copied.refusal == desk::Refusal::NoSpreadsheetContent) {
        LogEvent(kModule, QStringLiteral("Excel_GetInstance"),
                 QStringLiteral("The clipboard holds no cells or chart copied in a spreadsheet."),
                 false);
        return false;
    }
    auto user = std::make_shared<UserExcel>();
    // One that attached only in part is handed over all the same: its Problem and members
    // tell the paste which refusal to show.
    (void)user->Attach(copied);
    XL = std::move(user);
    return true;
}

QList<QStringList> DisplayedCells(xl::Worksheet* WS, const xl::Range& range) {
    QList<QStringList> rows;
    if (!WS || !range.IsValid())
        return rows;
    const auto cut = xl::Application::Intersect(range, WS->UsedRange());
    if (!cut)
        return rows;
    const xl::RangeRef& r = cut->Ref();
    for (int32_t row = r.row1; row <= r.row2; ++row) {
        QStringList cells;
        for (int32_t col = r.col1; col <= r.col2; ++col)
            cells << WS->DisplayText(row, col);
        rows << cells;
    }
    return rows;
}
