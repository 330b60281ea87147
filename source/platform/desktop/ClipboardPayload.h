#pragma once
// The pieces of what a spreadsheet program puts on the clipboard, read one format at a time.
// The user's spreadsheet is never driven; these bytes are all we learn about its selection.
// The layout of each format is that offered by LibreOffice Calc (captured payloads live in
// tests/platform/desktop/payloads).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QMimeData;

namespace desk {

// Format names as offered; the parameters after ";" vary between versions and copies.
inline constexpr char kLinkFormat[] = "application/x-openoffice-link";
inline constexpr char kObjectDescriptorFormat[] = "application/x-openoffice-objectdescriptor-xml";
inline constexpr char kEmbedSourceFormat[] = "application/x-openoffice-embed-source-xml";
// The class of an embedded chart object, as the descriptor names it.
inline constexpr char kChartClassId[] = "12DCAE26-281F-416F-A234-C3086127382E";

// `application/x-openoffice-link`: application NUL document NUL item NUL marker NUL NUL.
// The item of copied cells is "<sheet>.<range>", the sheet quoted when it holds blanks, dots or
// apostrophes ('Bob''s Q1'.A1:B2). A document never saved is named by its title ("Untitled 1").
struct SheetLink {
    QString application;  // "soffice"
    QString document;     // the saved file's path, or the title of a never-saved document
    QString item;         // as written: Data.A2:C4, 'Q1 Data'.A1:B3
    QString marker;       // "calc:extref" for cells
    QString sheet;        // unquoted; "" when the item names no sheet
    QString range;        // A2:C4 or B3, no "$", corners ordered; "" when not a cell reference

    // The document has a path of its own, so it was saved at least once.
    [[nodiscard]] bool IsSaved() const;
};

std::optional<SheetLink> ParseSheetLink(const QByteArray& bytes);

// Splits a cell reference with its sheet ("$'Q1 Data'.$A$1:$B$3", "Data.B3") into the unquoted
// sheet name and the range. Sheet is "" when the reference names none; the range is "" when it
// is not an A1 cell or range inside the grid (1,048,576 rows, columns A to XFD).
void SplitSheetReference(const QString& reference, QString* sheet, QString* range);

// An A1 cell or range (with or without "$") in the relative form, corners ordered top-left to
// bottom-right; "" when it isn't one or lies outside the grid.
QString NormalizeRangeAddress(const QString& address);

// The object descriptor: what kind of object was copied, the document it came from and its size.
// Its attributes travel in the format name itself (classname="...";width="15000";...), and again
// in the bytes as a binary block; either source can fill it.
struct ObjectDescriptor {
    QString classId;      // upper case, as kChartClassId
    QString typeName;     // "LibreOffice 7.4 Spreadsheet"
    QString displayName;  // a file URL for cells of a saved document; none for a chart
    int32_t width = 0;    // 1/100 mm
    int32_t height = 0;   // 1/100 mm

    [[nodiscard]] bool IsChart() const;
};

std::optional<ObjectDescriptor> ParseObjectDescriptorFormat(const QString& formatName);
std::optional<ObjectDescriptor> ParseObjectDescriptorBytes(const QByteArray& bytes);

// text/plain of copied cells: one line per row, cells separated by tabs, each cell as displayed.
// A line break inside a cell is offered as a blank, and a single cell comes without a line end.
QList<QStringList> SplitCopiedText(const QString& text);

// The text the spreadsheet puts on the clipboard for cells displayed as `displayed` (rows of
// cells, each as the number format shows it, unsqueezed by the column width, hidden rows and
// columns included): only the block
// from the first to the last non-empty row and column, line breaks in a cell as blanks, a line
// end after each row except when the block is one cell; "" when every cell is empty. Because
// empty edges are dropped, a caller may pass the range cut to the sheet's used area.
QString ExpectedCopiedText(const QList<QStringList>& displayed);

// Whether the copied text shows the cells `displayed`, so that the copy and the saved file
// agree. Line ends are compared without regard to CR LF or a missing last one.
[[nodiscard]] bool CopiedTextMatches(const QString& copiedText, const QList<QStringList>& displayed);

// The full name of the first offered format whose name before any ";" parameters is `base`
// (any case); "" when none is offered.
QString FindFormat(const QMimeData* data, const QString& base);

// The copied text: the UTF-8 text/plain when offered, else whatever text Qt finds.
QString CopiedText(const QMimeData* data);

}  // namespace desk
