#pragma once
// The user's running spreadsheet, as far as this desktop lets us see it: what was last copied
// there. Copied cells name their saved workbook, sheet and range; the workbook is opened from
// disk in an engine instance of its own, with the copied range as the window's selection and
// the panes of the sheet view saved in the file. A copied chart names nothing: it is looked
// for by its size in the workbook of the last cells copied, else in one the user picks.
//
// The user's program is never driven: this instance is a reading of the clipboard and the
// file, so edits not yet saved are not in it (the copied text tells them apart).

#include "platform/desktop/ClipboardSelection.h"
#include "services/modUtilsExcel.h"

#include <QString>

#include <memory>

class UserExcel {
public:
    enum class SelectionKind { None, Range, ChartObject };

    ExcelApp App;           // the engine instance that holds the saved workbook
    bool Visible = true;    // the user's own program is always on the user's screen
    // Why there is no workbook or no sheet, for the refusal message; "" when there is one.
    QString Problem;
    desk::ClipboardSelection Copied;
    SelectionKind Selection = SelectionKind::None;
    // The chart object selected, when Selection is ChartObject: the text it is found by again
    // (xl::Shape::Reference); "" when no chart of the copied one's size is in the saved file.
    QString ChartName;

    xl::Workbook* ActiveWorkbook() const { return workbook_; }
    xl::Worksheet* ActiveSheet() const { return sheet_; }
    xl::Window* ActiveWindow() const { return workbook_ ? workbook_->ActiveWindow() : nullptr; }
    // The selected cells; invalid when the selection is a chart or nothing.
    xl::Range RangeSelection() const;

    // Builds the instance from a classified clipboard content. False (with Problem set) when
    // something of it is missing; the members say how far it got.
    [[nodiscard]] bool Attach(const desk::ClipboardSelection& copied);

private:
    [[nodiscard]] bool OpenWorkbook(const QString& path);
    [[nodiscard]] bool FindChart();

    xl::Workbook* workbook_ = nullptr;
    xl::Worksheet* sheet_ = nullptr;
};

using UserExcelRef = std::shared_ptr<UserExcel>;

// Starts remembering the workbook of every spreadsheet link copied from now on, for the whole
// run: a chart copied later names no workbook, and the cells last copied tell which one it is.
void WatchUserSpreadsheet();

// Attaches to the user's spreadsheet through what is on the clipboard now. False, and an event
// in the log, when the clipboard holds no cells or chart copied in a spreadsheet; the variable
// is then left empty. An instance already held is kept.
[[nodiscard]] bool Excel_GetInstance(UserExcelRef& XL);

// The cells of `range` as the engine displays them, cut to the sheet's used area (hidden rows
// and columns included), for comparing with the copied text.
QList<QStringList> DisplayedCells(xl::Worksheet* WS, const xl::Range& range);
