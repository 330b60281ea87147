#pragma once
// What the user copied in their spreadsheet program, as far as a paste can use it: cells of a
// saved .xlsx workbook, a chart, or nothing usable with the reason why. The attached instance
// that the paste works with is built from this: for cells from (workbook, sheet, range, copied
// text), for a chart from (size, remembered workbook).

#include "platform/desktop/ClipboardPayload.h"

#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <cstdint>

class QMimeData;

namespace desk {

enum class WorkbookCheck {
    Ok,        // a zip package with a workbook part: .xlsx or .xlsm
    Missing,   // no such file
    NotXlsx,   // anything else: .ods, .xls, a text file, a broken zip
};

// Decided by the content, not the name: a renamed .ods is still refused, and the reader can
// rely on finding the workbook part.
WorkbookCheck CheckWorkbookFile(const QString& path);

enum class ClipboardKind { Cells, Chart, Nothing };

// Why the clipboard can't be pasted, in the order the checks run.
enum class Refusal {
    None,
    NoSpreadsheetContent,  // no spreadsheet link nor chart: text, a picture, another program's data
    NeverSaved,            // a link to a document that has no file yet
    FileMissing,           // the linked file is gone (deleted or moved since the copy)
    NotXlsx,               // the linked file is not an .xlsx/.xlsm workbook (.ods, .xls, ...)
    NoSheet,               // the link names no sheet, or no cells on it
};

struct ClipboardSelection {
    ClipboardKind kind = ClipboardKind::Nothing;
    Refusal refusal = Refusal::NoSpreadsheetContent;

    // Cells: the saved workbook, the sheet and range copied, and the cells as displayed at the
    // moment of the copy (compared later with the saved file to spot unsaved changes).
    // Chart: the remembered workbook when it is still a usable workbook, else "".
    // Refused: the document the link named, for the message.
    QString workbookPath;
    QString sheet;
    QString range;  // A2:C4 or B3
    QString copiedText;
    QList<QStringList> copiedRows;

    // Size of the copied object in 1/100 mm as the descriptor gave it (0 when none came), and
    // the same in points and in pixels at 96 dpi. A chart is found in its workbook by size.
    int32_t width100mm = 0;
    int32_t height100mm = 0;
    QSizeF sizePoints;
    QSize sizePixels;

    [[nodiscard]] bool IsUsable() const { return refusal == Refusal::None; }
};

// Classifies a clipboard's content. `rememberedWorkbook` is the workbook of the last spreadsheet
// link seen (ClipboardWatcher); only a chart uses it, since a copied chart names no document.
ClipboardSelection ClassifyClipboard(const QMimeData* data,
                                     const QString& rememberedWorkbook = QString());

// A sentence for the user saying why the selection can't be pasted; "" when it can.
QString DescribeRefusal(const ClipboardSelection& selection);

}  // namespace desk
