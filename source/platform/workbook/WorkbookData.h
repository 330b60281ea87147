#pragma once
// A workbook as read from its file, before any in-memory edit: the package, the workbook part
// with its list of sheets, and, each read the first time something needs it, the shared
// strings, the styles and theme, each sheet's cells, sizes, views, merged cells and drawings,
// and each chart. What is read is never changed, so one Application can hand the same
// workbook to every workbook object that opens the unchanged file, on any thread.

#include "platform/workbook/Address.h"
#include "platform/workbook/CellValue.h"
#include "platform/workbook/Chart.h"
#include "platform/workbook/Error.h"
#include "platform/workbook/Package.h"
#include "platform/workbook/Styles.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace xl {

enum class CellKind : uint8_t { Blank, Number, SharedString, Text, Boolean, Error };

// The most characters a cell holds in the spreadsheet; a longer text is no workbook's.
constexpr qsizetype kMaxCellChars = 32767;

// Strings in one buffer (the workbook's shared strings, a sheet's own texts): a string costs
// its characters and an offset, however many strings there are and however short, and adding
// one allocates nothing but the buffer's growth.
class StringTable {
public:
    size_t size() const { return ends_.size(); }
    [[nodiscard]] bool empty() const { return ends_.empty(); }
    QString operator[](size_t i) const { return text_.mid(Start(i), qsizetype(ends_[i]) - Start(i)); }
    // Whether string i is "".
    [[nodiscard]] bool IsEmpty(size_t i) const { return qsizetype(ends_[i]) == Start(i); }
    // A string made of pieces: Piece adds to the string under way (throwing xl::Error when the
    // buffer would pass what an offset can address), End makes it the next one. Piece returns
    // the characters the string holds so far.
    qsizetype Piece(const char* utf8, size_t bytes);
    qsizetype PieceSize() const { return text_.size() - Start(ends_.size()); }
    void End();
    // Gives back what growing the buffer left spare.
    void Squeeze();

private:
    qsizetype Start(size_t i) const { return i == 0 ? 0 : qsizetype(ends_[i - 1]); }
    QString text_;
    std::vector<uint32_t> ends_;
};

// One cell as the sheet's store hands it out.
struct Cell {
    union {
        double number;  // Number, Boolean (0/1)
        uint32_t text;  // SharedString: index into the shared strings; Text/Error: into the
                        // sheet's own strings
    };
    uint32_t style = 0;  // index into cellXfs
    uint16_t col = 0;
    CellKind kind = CellKind::Blank;
};

enum RowFlag : uint8_t { kRowHidden = 1, kRowCustomHeight = 2, kRowCustomFormat = 4 };

struct RowData {
    int32_t row = 0;
    uint32_t firstCell = 0;  // this row's cells are the store's [firstCell, firstCell + cellCount)
    uint32_t cellCount = 0;
    float height = -1;       // points; below 0 when the row has no height of its own
    uint32_t style = 0;      // applies to empty cells when kRowCustomFormat
    // Where the store keeps the columns and styles of this row's cells (see CellStore).
    uint32_t colsAt = 0, stylesAt = 0, cellStyle = 0;
    uint16_t firstCol = 0;
    uint8_t flags = 0;
};

// A sheet's cells, row after row, each row's by column. A big sheet is mostly rows of cells side
// by side in one style, so a cell costs its value (8 bytes, the kind of a cell that holds no
// number inside it): a row keeps a column per cell only when its cells are not side by side, a
// style per cell only when they differ.
class CellStore {
public:
    // colsAt / stylesAt of a row that keeps no column / style per cell.
    static constexpr uint32_t kShared = UINT32_MAX;

    [[nodiscard]] size_t size() const { return values_.size(); }
    // Cell i of `row`, 0 <= i < row.cellCount.
    [[nodiscard]] Cell At(const RowData& row, uint32_t i) const;
    [[nodiscard]] int32_t Col(const RowData& row, uint32_t i) const {
        return row.colsAt == kShared ? int32_t(row.firstCol) + int32_t(i) : int32_t(cols_[row.colsAt + i]);
    }
    // The index in `row` of its first cell at or right of column `col`; row.cellCount when none.
    [[nodiscard]] uint32_t LowerBound(const RowData& row, int32_t col) const;
    // Adds a row's cells, sorted by column, no column twice, and tells `row` where they are.
    void AddRow(RowData& row, const Cell* cells, uint32_t count);
    // Room for this many cells more, as one block each (taken from memory only when used).
    void Reserve(size_t cells);

private:
    // A number's bits; any other cell's kind and string index (or 0/1) inside a NaN no number
    // read from a file has (see WorkbookReader.cpp).
    std::vector<uint64_t> values_;
    std::vector<uint16_t> cols_;
    std::vector<uint32_t> styles_;
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
    [[nodiscard]] bool IsFrozen() const { return state != QLatin1String("split"); }
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
    QString chartPart;   // the chart part, for charts (WorkbookData::Chart reads it)
    QString imagePart;   // the media part, for pictures
    QString relId;       // the relationship id in the drawing's rels
    QString description;
    // The extent the shape's own transform (xfrm) gives it, in EMU; 0 when the file gives none.
    // Cells-anchored shapes measure differently in every program, so this is the size the
    // program that saved the file meant.
    int64_t xfrmCx = 0, xfrmCy = 0;
};

enum class SheetKind { Worksheet, ChartSheet, Other };

// A sheet as the workbook part lists it: known at once, before the sheet's own part is read.
struct SheetEntry {
    QString name;
    int sheetId = 0;
    QString state = QStringLiteral("visible");
    SheetKind kind = SheetKind::Worksheet;
    QString relId;
    QString partName;
};

// A sheet as its part gives it.
struct SheetData : SheetEntry {
    QList<Relationship> rels;

    std::vector<RowData> rows;  // sorted by row
    CellStore cells;
    StringTable strings;        // inline strings, formula texts and error codes
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
    std::optional<Cell> FindCell(int32_t row, int32_t col) const;
    const ColSpan* FindCol(int32_t col) const;
    CellValue ValueOf(const Cell& c, const StringTable& sharedStrings) const;
};

// The theme and styles, and the unit of column widths they set.
struct WorkbookLook {
    Theme theme;
    Styles styles;
    int maxDigitWidth = 7;  // pixels at 96 dpi, of the default font
    int digitTwips = 111;   // the default font's widest digit as LibreOffice Calc measures it
};

// A value read the first time it is asked for, once, whichever threads ask; a reading that
// failed fails again with the same error, without reading again.
template <class T>
class ReadOnce {
public:
    template <class Read>
    const T& Get(Read read) const {
        if (state_.load(std::memory_order_acquire) == kRead)
            return *value_;
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_.load(std::memory_order_relaxed) == kRead)
            return *value_;
        if (state_.load(std::memory_order_relaxed) == kFailed)
            throw Error(error_);
        try {
            value_ = std::make_unique<T>(read());
        } catch (const Error& e) {
            error_ = e.Message();
            state_.store(kFailed, std::memory_order_relaxed);
            throw;
        }
        state_.store(kRead, std::memory_order_release);
        return *value_;
    }
    [[nodiscard]] bool IsRead() const { return state_.load(std::memory_order_acquire) == kRead; }

private:
    enum : int { kNotRead, kRead, kFailed };
    mutable std::atomic<int> state_{kNotRead};
    mutable std::mutex mutex_;
    mutable std::unique_ptr<T> value_;
    mutable QString error_;
};

class WorkbookData {
public:
    QString path;
    Package package;
    QString workbookPart;
    QList<Relationship> workbookRels;
    QString sharedStringsPart, stylesPart, themePart;
    std::vector<SheetEntry> sheets;  // in the workbook's order
    bool date1904 = false;
    int activeTab = 0;
    bool macroEnabled = false;

    WorkbookData() = default;
    WorkbookData(const WorkbookData&) = delete;
    WorkbookData& operator=(const WorkbookData&) = delete;

    // Each read the first time it is needed and kept from then on; safe to ask from any thread.
    // A part that can't be read throws xl::Error "<path> is not an .xlsx workbook this program
    // can read: <reason>", each time it is asked for.
    const SheetData& Sheet(size_t index) const;
    const StringTable& SharedStrings() const;
    const WorkbookLook& Look() const;
    // nullptr when the package has no such part.
    const ChartData* Chart(const QString& partName) const;
    // Whether sheet `index` has been read (successfully) yet.
    [[nodiscard]] bool IsSheetRead(size_t index) const;

private:
    friend std::shared_ptr<const WorkbookData> ReadWorkbookSource(const std::shared_ptr<const ZipSource>&,
                                                                  const QString&, const PackageLimits&);
    // The reader's refusal, with the path in front, of whatever `read` throws.
    template <class T, class Read>
    const T& Guarded(const ReadOnce<T>& once, Read read) const;

    std::vector<std::unique_ptr<ReadOnce<SheetData>>> sheetData_;
    ReadOnce<StringTable> sharedStrings_;
    ReadOnce<WorkbookLook> look_;
    mutable std::mutex chartsLock_;
    mutable std::map<QString, std::unique_ptr<ReadOnce<ChartData>>> charts_;
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
// Reads a workbook from a zip held in memory or a file read by offset.
std::shared_ptr<const WorkbookData> ReadWorkbookSource(const std::shared_ptr<const ZipSource>& zip, const QString& path,
                                                       const PackageLimits& limits);

// The maximum digit width in pixels at 96 dpi of a font, measured with the font that stands in
// for it here (Carlito for Calibri, Caladea for Cambria, Liberation for Arial, Times New Roman
// and Courier New); a fixed table when no GUI is running or the font is missing.
int MaxDigitWidth(const QString& fontName, double pointSize);

// The advance of a font's widest digit in twips as LibreOffice Calc measures it when it reads a
// workbook, the unit of the column widths the file stores: on its reference device (8640 dpi)
// with the font's height taken in 1/100 mm for its size in twips, which scales the advance back
// to twips, each step rounded to whole device units as Calc's are. Measured with the same
// stand-in fonts as MaxDigitWidth.
int DigitTwips(const QString& fontName, double pointSize);

}  // namespace xl
