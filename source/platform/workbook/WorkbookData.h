#pragma once
// A workbook as read from its file, before any in-memory edit: the package's parts, the
// shared strings, the styles and theme, each sheet's cells, sizes, views, merged cells and
// drawings, and the charts. Immutable once read, so one Application can hand the same parse
// to every workbook object that opens the unchanged file.

#include "platform/workbook/Address.h"
#include "platform/workbook/CellValue.h"
#include "platform/workbook/Chart.h"
#include "platform/workbook/Package.h"
#include "platform/workbook/Styles.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace xl {

enum class CellKind : uint8_t { Blank, Number, SharedString, Text, Boolean, Error };

// The most characters a cell holds in the spreadsheet; a longer text is no workbook's.
constexpr qsizetype kMaxCellChars = 32767;

// The workbook's shared strings in one buffer: a string costs its characters and an offset,
// however many strings there are and however short.
class StringTable {
public:
    size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    QString operator[](size_t i) const { return text_.mid(Start(i), qsizetype(ends_[i]) - Start(i)); }
    // Throws xl::Error when the buffer would pass what an offset can address.
    void Append(const QString& s);
    // Gives back what growing the buffer left spare.
    void Squeeze();

private:
    qsizetype Start(size_t i) const { return i == 0 ? 0 : qsizetype(ends_[i - 1]); }
    QString text_;
    std::vector<uint32_t> ends_;
};

// One stored cell. Kept small: a sheet of a million cells is 16 MB of these.
struct Cell {
    union {
        double number;  // Number, Boolean (0/1)
        uint32_t text;  // SharedString: index into the shared strings; Text/Error: into the
                        // sheet's own string pool
    };
    uint32_t style = 0;  // index into cellXfs
    uint16_t col = 0;
    CellKind kind = CellKind::Blank;
};
static_assert(sizeof(Cell) == 16);

enum RowFlag : uint8_t { kRowHidden = 1, kRowCustomHeight = 2, kRowCustomFormat = 4 };

struct RowData {
    int32_t row = 0;
    uint32_t firstCell = 0;  // this row's cells are cells[firstCell .. firstCell + cellCount)
    uint32_t cellCount = 0;
    float height = -1;       // points; below 0 when the row has no height of its own
    uint32_t style = 0;      // applies to empty cells when kRowCustomFormat
    uint8_t flags = 0;
};

struct ColSpan {
    int32_t first = 1, last = 1;
    double width = -1;  // the file's width (characters plus padding); below 0 when unset
    bool hidden = false;
    bool customWidth = false;
    bool hasStyle = false;
    uint32_t style = 0;
};

struct PaneView {
    double xSplit = 0, ySplit = 0;  // frozen: columns and rows; split: 1/20 point
    int32_t topLeftRow = 1, topLeftCol = 1;  // of the bottom-right pane
    QString activePane = QStringLiteral("topLeft");
    QString state = QStringLiteral("split");  // "split", "frozen", "frozenSplit"
    bool IsFrozen() const { return state != QLatin1String("split"); }
};

struct SelectionView {
    QString pane = QStringLiteral("topLeft");
    int32_t activeRow = 1, activeCol = 1;
    QList<RangeRef> ranges;
};

struct SheetView {
    bool showGridLines = true;
    bool showHeaders = true;
    bool rightToLeft = false;
    bool tabSelected = false;
    int zoomScale = 100;
    int32_t topLeftRow = 1, topLeftCol = 1;
    bool hasPane = false;
    PaneView pane;
    QList<SelectionView> selections;
};

// A position in the grid as drawings give it: 0-based column and row, offsets in EMU.
struct GridPoint {
    int32_t col = 0, row = 0;
    int64_t colOff = 0, rowOff = 0;
};

constexpr double kEmuPerPoint = 12700.0;

struct Anchor {
    enum class Type { TwoCell, OneCell, Absolute } type = Type::TwoCell;
    GridPoint from, to;          // `to` for two-cell anchors
    int64_t x = 0, y = 0;        // absolute anchors: position in EMU
    int64_t cx = 0, cy = 0;      // one-cell and absolute anchors: size in EMU
    QString editAs;
};

enum class ShapeKind { Chart, Picture, Shape, Group, Connector, Other };

struct DrawingShape {
    QString name;
    int id = 0;
    ShapeKind kind = ShapeKind::Other;
    Anchor anchor;
    int chart = -1;      // index into WorkbookData::charts
    QString chartPart;   // the chart part, for charts
    QString imagePart;   // the media part, for pictures
    QString relId;       // the relationship id in the drawing's rels
    QString description;
    // The extent the shape's own transform (xfrm) gives it, in EMU; 0 when the file gives none.
    // Cells-anchored shapes measure differently in every program, so this is the size the
    // program that saved the file meant.
    int64_t xfrmCx = 0, xfrmCy = 0;
};

enum class SheetKind { Worksheet, ChartSheet, Other };

struct SheetData {
    QString name;
    int sheetId = 0;
    QString state = QStringLiteral("visible");
    SheetKind kind = SheetKind::Worksheet;
    QString relId;
    QString partName;
    QList<Relationship> rels;

    std::vector<RowData> rows;  // sorted by row
    std::vector<Cell> cells;    // grouped by row, each row's sorted by column
    std::vector<QString> strings;  // inline strings, formula texts and error codes
    std::vector<ColSpan> cols;  // sorted, not overlapping

    double defaultRowHeight = 15;  // points
    bool zeroHeight = false;       // rows without a height of their own are hidden
    double defaultColWidth = -1;   // the file's width; below 0 when unset
    double baseColWidth = 8;       // characters
    QList<RangeRef> merges;
    SheetView view;

    QString drawingPart;
    QList<Relationship> drawingRels;
    std::vector<DrawingShape> shapes;

    const RowData* FindRow(int32_t row) const;
    const Cell* FindCell(int32_t row, int32_t col) const;
    const ColSpan* FindCol(int32_t col) const;
    CellValue ValueOf(const Cell& c, const StringTable& sharedStrings) const;
};

struct WorkbookData {
    QString path;
    Package package;
    QString workbookPart;
    QList<Relationship> workbookRels;
    QString sharedStringsPart, stylesPart, themePart;
    StringTable sharedStrings;
    Theme theme;
    Styles styles;
    std::vector<SheetData> sheets;
    std::vector<ChartData> charts;
    bool date1904 = false;
    int activeTab = 0;
    bool macroEnabled = false;
    int maxDigitWidth = 7;  // pixels at 96 dpi, of the default font
};

// Throws xl::Error "<path> can't be read: <reason>" unless the path names a regular file (or a
// link to one): a missing file, a folder, a pipe or a device are each told for what they are.
void CheckWorkbookFile(const QString& path);
// Reads a workbook file; throws xl::Error "<path> is not an .xlsx workbook this program can
// read: <reason>" (or "<path> can't be read: <reason>" when the file itself can't be read).
std::shared_ptr<const WorkbookData> ReadWorkbookFile(const QString& path);
// Reads a workbook held in memory; `path` names it in messages.
std::shared_ptr<const WorkbookData> ReadWorkbookBytes(const QByteArray& bytes, const QString& path,
                                                      const PackageLimits& limits = {});

// The maximum digit width in pixels at 96 dpi of a font, measured with the font that stands in
// for it here (Carlito for Calibri, Caladea for Cambria, Liberation for Arial, Times New Roman
// and Courier New); a fixed table when no GUI is running or the font is missing.
int MaxDigitWidth(const QString& fontName, double pointSize);

}  // namespace xl
