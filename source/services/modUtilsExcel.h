#pragma once
// The spreadsheet helpers the program calls: holding a hidden instance of the workbook engine,
// closing its workbooks, testing for a sheet, a workbook or a shape, finding the last used
// cell, and arithmetic on A1 range addresses (columns A to XFD, rows to 1,048,576).
//
// An instance lives in a caller's variable, empty when there is none. The address helpers have
// no error trap of their own: an address the grid can't take raises xl::Error to the caller.

#include "platform/workbook/Workbook.h"

#include <QString>

#include <cstdint>
#include <memory>

using ExcelApp = std::shared_ptr<xl::Application>;

// Attaches to the user's running spreadsheet. Not available yet: True only when the variable
// already holds an instance; otherwise False and an event in the log.
[[nodiscard]] bool Excel_GetInstance(ExcelApp& XL);
// Starts a hidden instance when the variable is empty; an instance already held is kept.
[[nodiscard]] bool Excel_Init(ExcelApp& XL);
// Closes the instance's workbooks unsaved, puts back its settings and empties the variable.
void Excel_Exit(ExcelApp& XL);
void CloseWorkbooks(ExcelApp& XL);

// A hidden instance held for a scope: Start() starts it, and whatever way the scope is left (a
// return, a failure, an exception) the instance and the workbooks it opened are closed with it,
// so that none outlives the work it was started for. Close() ends it earlier, where what
// follows (a message, showing the saved file) should not find it still open.
class HiddenInstance {
public:
    HiddenInstance() = default;
    HiddenInstance(const HiddenInstance&) = delete;
    HiddenInstance& operator=(const HiddenInstance&) = delete;
    ~HiddenInstance() { Close(); }
    [[nodiscard]] bool Start() { return Excel_Init(XL); }
    void Close() {
        if (XL)
            Excel_Exit(XL);
    }
    ExcelApp XL;
};

// Opens a workbook file in the instance (Workbooks.Open) with the sheets named read as well,
// on other cores while the engine's wait hook lets the window's events in. Throws xl::Error.
xl::Workbook* OpenWithSheets(const ExcelApp& XL, const QString& Path, const QStringList& SheetNames);

[[nodiscard]] bool Excel_HasSheet(xl::Workbook* WB, const QString& SheetName);
[[nodiscard]] bool Excel_HasWorkbook(const ExcelApp& XL, const QString& FullPath, bool& SameName);
[[nodiscard]] bool Excel_HasShape(xl::Worksheet* WS, const QString& ShapeName);

// Shows a workbook to the user: the file opens in the desktop's default application for it.
// That application can't be told which sheet to show, so the workbook opens at the sheet it
// was saved on; the sheet the caller wanted is noted in the log. False after a message when
// the file is missing or no application would take it.
[[nodiscard]] bool Excel_Launch(const QString& FullPath, const QString& SheetName);
// Saves a copy of an open workbook under another path in its own format (modUtilsExcelCopy.cpp).
// The target is replaced atomically: an old file there stays whole until the copy is.
[[nodiscard]] bool CopyOpenWorkbook(xl::Workbook* WB, const QString& TargetPath);

QString RangeCorner(const QString& Address, const QString& Which);
QString ShiftRowsAddress(xl::Worksheet* WS, const QString& Address, int32_t Offset);
QString ShiftColsAddress(xl::Worksheet* WS, const QString& Address, int32_t Offset);
QString MoveRangeAddress(xl::Worksheet* WS, const QString& Address, const QString& FromCell,
                         const QString& ToCell);
int32_t ColumnNumber(xl::Worksheet* WS, const QString& Letters);
QString ColumnLetters(int32_t Column);
void GetAbsFlags(const QString& Address, bool& RowAbs, bool& ColAbs);
// The absolute address of the crossing of the last used row and the last used column;
// "" (and an event in the log) on an empty sheet.
QString RealBottomRight(xl::Worksheet* WS);
