#pragma once
// The writer's work on the XML of worksheets, styles and drawings: cell values and styles,
// row heights and column widths, shapes moved, renamed or deleted, sheets and drawings copied
// between packages, pictures, charts and cells pasted.

#include "platform/workbook/PackageEdit.h"
#include "platform/workbook/WorkbookData.h"

#include <QColor>

#include <map>
#include <tuple>
#include <vector>

namespace xl {

// The styles of a new workbook: the normal style in Calibri 11, the two fills every styles
// part starts with, one border.
extern const char* const kDefaultStyles;

// styles.xml being changed: new cell formats are added (never changed in place, so every
// existing cell keeps its look), the same format asked twice is added once.
class StylesEdit {
public:
    // The styles part of the workbook `book` in `pkg`; one with the spreadsheet's defaults is
    // made when the workbook has none.
    StylesEdit(PackageEdit& pkg, const WorkbookData& book);
    // A styles part only read from (the source of a copy).
    explicit StylesEdit(const QByteArray& bytes);

    uint32_t WithFill(uint32_t xf, const QColor& color);
    uint32_t WithNumFmt(uint32_t xf, int numFmtId);
    int NumFmtOf(uint32_t xf) const;
    // The number format of `xf` shows values as General does: built-in format 0, or a custom
    // format whose code is "General" (as LibreOffice writes its default style).
    [[nodiscard]] bool IsGeneral(uint32_t xf) const;
    // The format `xf` of `src` as a format of this workbook (font, fill, border and number
    // format brought along).
    uint32_t Import(const StylesEdit& src, uint32_t xf);
    uint32_t ImportDxf(const StylesEdit& src, uint32_t dxf);
    void Save();

private:
    pugi::xml_node Section(const char* name);
    pugi::xml_node Item(const char* section, uint32_t index) const;
    uint32_t Add(const char* section, const pugi::xml_node& item);
    int CustomNumFmt(const QString& code);

    PackageEdit* pkg_ = nullptr;
    QString part_;
    pugi::xml_document doc_;
    bool changed_ = false;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> imported_;
};

struct SheetEdits {
    const std::map<std::pair<int32_t, int32_t>, CellValue>* values = nullptr;
    const std::map<std::pair<int32_t, int32_t>, QColor>* interiors = nullptr;
    std::vector<std::tuple<int32_t, int32_t, double>> rowHeights;  // points; 0 hides
    std::vector<std::tuple<int32_t, int32_t, double>> colWidths;   // the file's unit; 0 hides
};

struct ShapeState {
    DrawingShape data;
    bool deleted = false;
};

[[nodiscard]] bool ShapeChanged(const DrawingShape& now, const DrawingShape& read);

// Each returns whether it changed anything.
[[nodiscard]] bool WriteSheetEdits(PackageEdit& pkg, const QString& sheetPart, const SheetEdits& edits, StylesEdit& styles);
[[nodiscard]] bool WriteShapeEdits(PackageEdit& pkg, const SheetData& sheet, const std::vector<ShapeState>& shapes);
// The cached results of the formulas of `sheetPart` taken from the same sheet recalculated.
[[nodiscard]] bool WriteFormulaResults(PackageEdit& pkg, const QString& sheetPart, const SheetData& recalculated,
                         const StringTable& sharedStrings);

void WriteDateTime(PackageEdit& pkg, const WorkbookData& book, const SheetData& sheet, const RangeRef& range,
                   double serial);

// The sheet's part with its own relationships and drawing.
void RemoveSheetParts(PackageEdit& pkg, const SheetData& sheet);
// A copy of `sheet` of `src` as a new worksheet part of `pkg` (the workbook `dst`); returns the
// new part's name. Not yet listed in the workbook.
QString CopySheetInto(PackageEdit& pkg, const WorkbookData& dst, const WorkbookData& src, const SheetData& sheet);

void PastePicture(PackageEdit& pkg, const SheetData& sheet, const QByteArray& png, int widthPx, int heightPx,
                  int32_t row, int32_t col);
void PasteShape(PackageEdit& pkg, const WorkbookData& dst, const SheetData& sheet, const WorkbookData& src,
                const SheetData& srcSheet, const DrawingShape& shape, int32_t row, int32_t col, double width,
                double height);
void PasteCells(PackageEdit& pkg, const WorkbookData& dst, const SheetData& sheet, const WorkbookData& src,
                const SheetData& srcSheet, const RangeRef& range, int32_t row, int32_t col);

}  // namespace xl
