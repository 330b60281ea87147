#pragma once
// The workbook engine's object model: the members of the spreadsheet's automation model that
// the program calls (Application, Workbooks, Workbook, Sheets, Worksheet, Range, Shapes,
// ChartObjects, Window, Pane), on workbooks read from .xlsx / .xlsm files.
//
// Edits (values, row heights, column widths, interior colours, selection, activation) live in
// memory only: the file is never written unless the writer is asked to. Objects are owned by
// their parents; a Workbook and everything in it goes away with Close. Failures throw
// xl::Error, as the spreadsheet raises a run-time error.

#include "platform/workbook/Address.h"
#include "platform/workbook/CellValue.h"
#include "platform/workbook/Error.h"
#include "platform/workbook/WorkbookData.h"

#include <QColor>
#include <QDateTime>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace xl {

class Application;
class Workbook;
class Worksheet;
class Shape;
struct ReadStore;

// Argument values of Find, as the spreadsheet numbers them.
constexpr int xlValues = -4163;
constexpr int xlFormulas = -4123;
constexpr int xlWhole = 1;
constexpr int xlPart = 2;
constexpr int xlByRows = 1;
constexpr int xlByColumns = 2;
constexpr int xlNext = 1;
constexpr int xlPrevious = 2;

// Values assigned to runs of rows or columns ("hide rows 1 to 500"), kept as spans.
class SpanMap {
public:
    void Assign(int32_t first, int32_t last, double value);
    std::optional<double> Get(int32_t key) const;
    // Every span as (first, last, value), in order.
    std::vector<std::tuple<int32_t, int32_t, double>> Spans() const;
    [[nodiscard]] bool Empty() const { return spans_.empty(); }

private:
    std::map<int32_t, std::pair<int32_t, double>> spans_;  // first -> (last, value)
};

class Interior;

class Range {
public:
    Range() = default;
    Range(Worksheet* sheet, const RangeRef& ref);

    [[nodiscard]] bool IsValid() const { return sheet_ != nullptr; }
    Worksheet* Parent() const { return sheet_; }
    const RangeRef& Ref() const { return ref_; }

    // "$B$3:$F$20"; whole rows "$3:$5", whole columns "$B:$D".
    QString Address(bool rowAbsolute = true, bool columnAbsolute = true) const;
    int32_t Row() const { return ref_.row1; }
    int32_t Column() const { return ref_.col1; }
    // The range counted by rows or by columns, as Range.Rows / Range.Columns: Count then
    // gives the number of rows or columns.
    Range Rows() const;
    Range Columns() const;
    // Row / column `index` (1-based) of the range, as a range.
    Range Rows(int32_t index) const;
    Range Columns(int32_t index) const;
    int64_t Count() const;
    // The cell at (row, column) counted from the range's top-left cell (1-based).
    Range Cells(int32_t row, int32_t column) const;
    Range EntireRow() const;
    Range EntireColumn() const;
    // The merged area holding the top-left cell, or that cell alone.
    Range MergeArea() const;

    // The top-left cell's value; setting a value sets every cell of the range.
    CellValue Value() const;
    void SetValue(const CellValue& value) const;
    // A date-time as the spreadsheet stores it: its serial number, shown with a date-time
    // format when the cell's format is General (written at once; WorkbookWriter.cpp).
    void SetValue(const QDateTime& value) const;
    // Puts the range on the clipboard for Worksheet::Paste (WorkbookWriter.cpp).
    void Copy() const;
    // The top-left cell's value as displayed (number format applied).
    QString Text() const;

    // Points, of the first row; 0 when hidden. Setting applies to every row; 0 hides.
    double RowHeight() const;
    void SetRowHeight(double points) const;
    // Character units of the default font, of the first column; 0 when hidden.
    double ColumnWidth() const;
    void SetColumnWidth(double characters) const;

    Interior GetInterior() const;

    // Puts the range's picture as shown on screen on the clipboard as a bitmap
    // (CopyPicture.cpp). Throws xl::Error.
    void CopyPicture(int appearance = 1, int format = -4147) const;

    // Selects the range on its sheet (activating the sheet); Activate also makes its first
    // cell the active cell.
    void Select() const;
    void Activate() const;

    // Find as the spreadsheet does it: on displayed values (LookIn xlValues) or the stored
    // value text (xlFormulas), whole or part, case-insensitive unless asked, "*" "?" "~"
    // wildcards, by rows or by columns, starting after `after` (default: the range's first
    // cell, which is then found last) and wrapping. nullopt when nothing matches.
    std::optional<Range> Find(const QString& what, std::optional<Range> after = std::nullopt,
                              int lookIn = xlValues, int lookAt = xlPart,
                              int searchOrder = xlByRows, int searchDirection = xlNext,
                              bool matchCase = false) const;

    bool operator==(const Range& o) const { return sheet_ == o.sheet_ && ref_ == o.ref_; }

    // CopyPicture (a picture of the cells as shown) belongs to the painting code, which
    // draws from the members of Worksheet below.

private:
    enum class Counting { Cells, Rows, Columns };
    Worksheet* sheet_ = nullptr;
    RangeRef ref_;
    Counting counting_ = Counting::Cells;
};

class Interior {
public:
    explicit Interior(Range range) : range_(std::move(range)) {}
    // The colour as the spreadsheet's Color long: red + green * 256 + blue * 65536;
    // 16777215 (white) when the cell has no fill.
    int32_t Color() const;
    void SetColor(int32_t bgr) const;
    QColor ColorQ() const;

private:
    Range range_;
};

// RGB(r, g, b) as the spreadsheet's colour long.
constexpr int32_t RGB(int r, int g, int b) { return r + g * 256 + b * 65536; }
QColor ColorFromLong(int32_t bgr);
int32_t LongFromColor(const QColor& c);

enum class ShapeType { Chart, Picture, AutoShape, Group, Connector, Other };

class Shape {
public:
    Shape(Worksheet* sheet, DrawingShape data);

    Worksheet* Parent() const { return sheet_; }
    QString Name() const { return data_.name; }
    void SetName(const QString& name) { data_.name = name; }
    // The text by which Shapes::Item finds this shape again, also in a newer version of the
    // file: its name; but for a chart saved without a name (LibreOffice Calc saves the charts
    // it inserted so), or under a name that an earlier shape of the sheet has, its place among
    // the sheet's charts (ChartPlaceReference).
    QString Reference() const;
    ShapeType Type() const;
    [[nodiscard]] bool HasChart() const { return data_.kind == ShapeKind::Chart; }
    // The chart's parsed data; nullptr for a shape that is no chart (or whose part is gone).
    const ChartData* Chart() const;
    // Position and size in points from the sheet's top-left corner, through its anchor.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    // The size in points that the file declares for the shape: its own transform's extent
    // when the file gives one, else the extent of its anchor (Width, Height). Another
    // program's column widths place a cells-anchored shape a little differently; this is
    // the size that program saved.
    QSizeF DeclaredSize() const;
    // The pixels LibreOffice Calc covers with the shape at 100 %: its declared size drawn to
    // the scale of the sheet's cells (Worksheet::DrawingPixelsPerTwip), from its first pixel to
    // its last where it stands, which may make it a pixel wider or taller than its size alone.
    QSize ScreenSize() const;
    void SetLeft(double points);
    void SetTop(double points);
    void SetWidth(double points);
    void SetHeight(double points);
    // The cells the shape's anchor starts and ends in.
    Range TopLeftCell() const;
    Range BottomRightCell() const;
    void Delete();
    [[nodiscard]] bool IsDeleted() const { return deleted_; }
    // ChartObject.Copy: puts the chart (or picture) on the clipboard (WorkbookWriter.cpp).
    void Copy() const;
    void Select();
    const DrawingShape& Data() const { return data_; }

    // Puts the shape's picture on the clipboard as a bitmap, the size of the shape
    // (CopyPicture.cpp). Returns a note for the caller's log when the shape is shown as a
    // placeholder (a chart of a kind not drawn, a shape that is no chart), else "".
    // Throws xl::Error.
    QString CopyPicture(int appearance = 1, int format = -4147) const;

private:
    friend class Writer;
    void SetBox(double left, double top, double width, double height);

    Worksheet* sheet_;
    DrawingShape data_;
    bool deleted_ = false;
};

// A chart known by its place among its sheet's charts: a back-quote and the 1-based place
// ("`2"). No name can be mistaken for it: a name that happens to read so is found as a name
// first.
QString ChartPlaceReference(int place);
// The place a reference names, 0 when it is a name.
int ChartPlace(QStringView reference);
// How a reference reads to the user: the name, or "chart 2 (no name)".
QString DescribeReference(const QString& reference);

// The shapes of a sheet, 1-based like the spreadsheet's collections; deleted shapes are gone.
// Found by name without regard to case, or by a chart's place (Shape::Reference).
class Shapes {
public:
    explicit Shapes(Worksheet* sheet) : sheet_(sheet) {}
    int Count() const;
    Shape* Item(int index) const;            // throws when out of range
    Shape* Item(const QString& name) const;  // throws when absent
    Shape* Find(const QString& name) const;  // nullptr when absent
    std::vector<Shape*> All() const;

private:
    Worksheet* sheet_;
};

// The embedded charts of a sheet, a chart object being its shape.
using ChartObject = Shape;
class ChartObjects {
public:
    explicit ChartObjects(Worksheet* sheet) : sheet_(sheet) {}
    int Count() const;
    ChartObject* Item(int index) const;
    ChartObject* Item(const QString& name) const;
    std::vector<ChartObject*> All() const;

private:
    Worksheet* sheet_;
};

class Worksheet {
public:
    // Sheet `index` (1-based) of the workbook; its part is read the first time its cells, sizes,
    // view or shapes are asked for.
    Worksheet(Workbook* book, int index);

    Workbook* Parent() const { return book_; }
    QString Name() const { return Entry().name; }
    int Index() const { return index_; }  // 1-based
    SheetKind Kind() const { return Entry().kind; }
    [[nodiscard]] bool IsVisible() const { return Entry().state == QLatin1String("visible"); }

    // Throws xl::Error for an address the grid can't take.
    xl::Range Range(const QString& address);
    xl::Range Range(const QString& cell1, const QString& cell2);
    xl::Range Range(const xl::Range& cell1, const xl::Range& cell2);
    xl::Range Cells();
    xl::Range Cells(int32_t row, int32_t column);
    xl::Range Rows();
    xl::Range Rows(int32_t row);
    xl::Range Rows(const QString& rows);  // "3:5" or "3"
    xl::Range Columns();
    xl::Range Columns(int32_t column);
    xl::Range Columns(const QString& columns);  // "B:D" or "B"
    // ---- writing (WorkbookWriter.cpp) ----
    // Renames the sheet; a name that is taken, empty, longer than 31 characters or holding
    // one of []:*?/\ is refused with xl::Error.
    void SetName(const QString& name);
    // Deletes the sheet without a prompt; the workbook's last visible sheet is refused.
    void Delete();
    // Copies the sheet (values, styles, sizes, merged cells, drawings) before `before`, a
    // sheet of this or another workbook; the copy becomes that workbook's active sheet.
    void Copy(Worksheet* before);
    // Pastes what Range::Copy or Shape::Copy put on the clipboard, or else the picture on the
    // system clipboard: at `destination`'s top-left cell, or the active cell. A pasted shape is
    // the last of Shapes. Nothing to paste is an xl::Error.
    void Paste(std::optional<xl::Range> destination = std::nullopt);

    // From the first to the last used cell (values or formatting); $A$1 on an empty sheet.
    xl::Range UsedRange();
    xl::Shapes Shapes() { return xl::Shapes(this); }
    xl::ChartObjects ChartObjects() { return xl::ChartObjects(this); }
    void Activate();
    void Select() { Activate(); }
    // A simple comparison or number: "= 150>100" gives TRUE. Anything else is #NAME?.
    CellValue Evaluate(const QString& expression) const;

    // ---- what the painter and the writer read ----
    // What the workbook part says of the sheet, known without reading the sheet.
    const SheetEntry& Entry() const;
    // The sheet as its part gives it, read now if it was not yet (xl::Error when it can't be).
    const SheetData& Data() const;
    const WorkbookData& Book() const;
    CellValue Value(int32_t row, int32_t col) const;
    QString DisplayText(int32_t row, int32_t col) const;
    uint32_t StyleIndex(int32_t row, int32_t col) const;
    const CellStyle& Style(int32_t row, int32_t col) const;
    // The fill colour set in memory (Interior.Color); nullopt when not set.
    std::optional<QColor> InteriorOverride(int32_t row, int32_t col) const;
    double RowHeight(int32_t row) const;      // points; 0 when hidden
    int RowHeightPixels(int32_t row) const;   // at 96 dpi
    double ColumnWidth(int32_t col) const;    // characters; 0 when hidden
    int ColumnWidthPixels(int32_t col) const; // at 96 dpi
    double StandardHeight() const;            // points
    double StandardWidth() const;             // characters
    // Distances from the sheet's top-left corner to the top of `row` / left of `col`.
    double RowTop(int32_t row) const;         // points
    int64_t ColumnLeftPixels(int32_t col) const;
    double ColumnLeft(int32_t col) const { return ColumnLeftPixels(col) * 0.75; }
    int MaxDigitWidth() const;
    int DigitTwips() const;  // the unit of the file's column widths, in twips
    // A column's width and a row's height as LibreOffice Calc holds them, in twips (0 hidden).
    int ColumnWidthTwips(int32_t col) const;
    int RowHeightTwips(int32_t row) const;
    // How many pixels a twip of the sheet's drawing layer (its charts) takes across and down on
    // LibreOffice Calc's screen at 100 %: Calc fits its drawings to its cells, at the pixels of
    // the sheet's first columns over their twips (twenty, or up to the last that holds a cell),
    // and likewise of its first rows. Columns draw narrower than 96 dpi, so charts do too.
    QSizeF DrawingPixelsPerTwip() const;
    const QList<RangeRef>& MergedCells() const { return Data().merges; }
    std::optional<RangeRef> MergeAreaOf(int32_t row, int32_t col) const;
    [[nodiscard]] bool ShowGridLines() const { return Data().view.showGridLines; }
    // The sheet's view as the model has it: the saved one until a selection changes it.
    const SheetView& View() const;
    SheetView& View();
    // Edits made in memory, for the writer.
    const std::map<std::pair<int32_t, int32_t>, CellValue>& EditedValues() const { return values_; }
    const SpanMap& EditedRowHeights() const { return rowHeights_; }
    const SpanMap& EditedColumnWidths() const { return colWidths_; }  // in the file's unit
    const std::map<std::pair<int32_t, int32_t>, QColor>& EditedInteriors() const { return interiors_; }
    std::vector<std::unique_ptr<Shape>>& ShapeObjects();

    // Sizes as LibreOffice Calc shows them at 100 % on a 96 dpi screen: a column's width and a
    // row's height in twips, a column width in the file's unit (a number of the default font's
    // widest digits, `digitTwips` twips each) and back (the fewest twips that show as `pixels`).
    static int PixelsFromColumnTwips(int twips);
    static int PixelsFromRowTwips(int twips);
    static int PixelsFromFileWidth(double width, int digitTwips);
    static double FileWidthFromPixels(int pixels, int digitTwips);
    // ColumnWidth's unit: characters of the default font's widest digit, `mdw` pixels each,
    // beside five pixels of padding.
    static double CharactersFromPixels(int pixels, int mdw);
    static int PixelsFromCharacters(double characters, int mdw);

private:
    friend class Range;
    friend class Interior;
    friend class Writer;
    double StoredRowHeight(int32_t row) const;
    int StoredColumnPixels(int32_t col) const;
    int DefaultColumnPixels() const;
    double DefaultRowHeight() const;
    void SetRowHeights(int32_t first, int32_t last, double points);
    void SetColumnWidths(int32_t first, int32_t last, double characters);

    Workbook* book_;
    int index_;
    // Each taken from the sheet's data the first time it is needed.
    mutable const SheetData* data_ = nullptr;
    mutable std::optional<SheetView> view_;
    bool shapesRead_ = false;
    std::map<std::pair<int32_t, int32_t>, CellValue> values_;
    std::map<std::pair<int32_t, int32_t>, QColor> interiors_;
    SpanMap rowHeights_;  // points
    SpanMap colWidths_;   // the file's width unit; 0 hides
    std::vector<std::unique_ptr<Shape>> shapes_;
};

class Sheets {
public:
    explicit Sheets(Workbook* book) : book_(book) {}
    int Count() const;
    Worksheet* Item(int index) const;            // 1-based; throws when out of range
    Worksheet* Item(const QString& name) const;  // case-insensitive; throws when absent
    Worksheet* Find(const QString& name) const;  // nullptr when absent
    // Sheets.Add with no arguments: a new worksheet named "Sheet<n>" (the first n free)
    // before the active sheet, which it becomes (WorkbookWriter.cpp).
    Worksheet* Add();
    // Sheets.Copy with no arguments: every sheet into a new, unsaved workbook, which becomes
    // the active one (WorkbookWriter.cpp).
    Workbook* Copy();

private:
    Workbook* book_;
};

class Pane {
public:
    Pane(Worksheet* sheet, const RangeRef& visible, int32_t scrollRow, int32_t scrollColumn)
        : sheet_(sheet), visible_(visible), scrollRow_(scrollRow), scrollColumn_(scrollColumn) {}
    Range VisibleRange() const { return Range(sheet_, visible_); }
    int32_t ScrollRow() const { return scrollRow_; }
    int32_t ScrollColumn() const { return scrollColumn_; }

private:
    Worksheet* sheet_;
    RangeRef visible_;
    int32_t scrollRow_, scrollColumn_;
};

// A workbook's window on its active sheet. The engine has no screen, and the window the user
// copied from is not known here: the main pane is taken to show the whole selection (whole
// rows or columns as far as the sheet is used). Only the fixed area beside it comes from the
// sheet view saved in the file: the frozen rows and columns, or what the top or left pane of
// a split shows in the size the file records. Where the main pane was scrolled when the file
// was saved says nothing about where the selection is, and is not used.
class Window {
public:
    explicit Window(Workbook* book) : book_(book) {}
    Worksheet* ActiveSheet() const;
    // Panes in the spreadsheet's order: one; or top and bottom / left and right; or top-left,
    // top-right, bottom-left, bottom-right. The main pane is the last. The fixed rows (columns)
    // make a pane of their own only beside the selection: when it starts in them or below them
    // and reaches below them. A selection that lies in them, or starts above them, is shown
    // whole in the main pane, since a fixed area in its middle would show part of it twice.
    std::vector<Pane> Panes() const;
    Range RangeSelection() const;
    Range ActiveCell() const;
    [[nodiscard]] bool FreezePanes() const;
    int32_t SplitRow() const;
    int32_t SplitColumn() const;
    // The chart the user activated; the engine never has one.
    Shape* ActiveChart() const { return nullptr; }

private:
    Workbook* book_;
};

class Workbook {
public:
    Workbook(Application* app, std::shared_ptr<const WorkbookData> data, const QString& fullName);
    ~Workbook();

    Application* Parent() const { return app_; }
    QString Name() const;
    QString FullName() const { return fullName_; }
    QString Path() const;
    xl::Sheets Sheets() { return xl::Sheets(this); }
    xl::Sheets Worksheets() { return xl::Sheets(this); }
    Worksheet* ActiveSheet() const;
    void Activate();
    Window* ActiveWindow() const { return window_.get(); }
    // Closes without saving: the engine never writes a file unless asked to.
    void Close();

    // ---- writing (WorkbookWriter.cpp) ----
    // Writes the workbook to its file atomically: parts nothing changed keep their bytes.
    void Save();
    // Writes it under another path, in this workbook's format, and takes that name.
    void SaveAs(const QString& path);
    void Close(bool saveChanges);
    // Recalculates every formula through LibreOffice; throws xl::Error when it can't.
    void RefreshAll();
    // False after a change that no Save has written yet.
    [[nodiscard]] bool Saved() const;
    // A workbook made by Workbooks.Add that was never saved has no file.
    [[nodiscard]] bool HasFile() const;

    const WorkbookData& Data() const { return *data_; }
    std::shared_ptr<const WorkbookData> SharedData() const { return data_; }
    std::vector<std::unique_ptr<Worksheet>>& SheetObjects() { return sheets_; }
    void SetActiveSheetIndex(int index) { activeSheet_ = index; }

private:
    Application* app_;
    std::shared_ptr<const WorkbookData> data_;
    QString fullName_;
    std::vector<std::unique_ptr<Worksheet>> sheets_;
    std::unique_ptr<Window> window_;
    int activeSheet_ = 0;
    bool saved_ = true;
    friend class Writer;
};

class Workbooks {
public:
    explicit Workbooks(Application* app) : app_(app) {}
    int Count() const;
    Workbook* Item(int index) const;            // 1-based; throws when out of range
    Workbook* Item(const QString& name) const;  // by file name, case-insensitive; throws
    // Opens a workbook file (the second argument, update links, changes nothing here). An
    // already open workbook of the same full name is returned as it is. Throws xl::Error.
    Workbook* Open(const QString& path, bool updateLinks = false);
    // A new, unsaved workbook: empty with one sheet "Sheet1" ("Book<n>"), or based on a
    // template file ("<template name><n>"), which stays untouched (WorkbookWriter.cpp).
    Workbook* Add(const QString& templatePath = QString());

private:
    Application* app_;
};

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    xl::Workbooks Workbooks() { return xl::Workbooks(this); }
    Workbook* ActiveWorkbook() const;
    Worksheet* ActiveSheet() const;
    Window* ActiveWindow() const;
    // The cells selected in the active window; nullopt when no workbook is open.
    std::optional<Range> Selection() const;
    static std::optional<Range> Intersect(const Range& a, const Range& b);

    bool DisplayAlerts = true;
    bool Visible = true;
    bool IgnoreRemoteRequests = false;
    bool ScreenUpdating = true;
    QString Caption() const;
    // Closes every workbook unsaved and forgets the parsed files.
    void Quit();

    // The parse of a workbook file, shared while path, size and modification time are the
    // same. A file not read yet is read on another core while the engine's wait hook runs.
    // Throws xl::Error.
    std::shared_ptr<const WorkbookData> Load(const QString& path);
    int CachedFiles() const;
    // Reads workbook files on the machine's other cores ahead of their Open, for a caller about
    // to open many (the panels of a dashboard), each with the sheets it names ((path, sheet)
    // pairs; a sheet "" reads none). Open then takes the workbook, waiting for it where it is
    // not read yet (the engine's wait hook runs meanwhile); a file changed since is read again.
    // Missing files are passed over; a file already read has only the sheets named that are
    // not read yet read on; a sheet that can't be read is told when it is used.
    void Prefetch(const QList<QPair<QString, QString>>& sheets);

    std::vector<std::unique_ptr<Workbook>>& OpenWorkbooks() { return books_; }
    void SetActiveWorkbook(Workbook* book) { active_ = book; }
    void Closed(Workbook* book);
    // Takes an open workbook out of the instance, edits and all, for one other thread to paint
    // from while this one goes on; the caller owns it from then on.
    std::unique_ptr<Workbook> Detach(Workbook* book);

private:
    // The files this instance has read and is reading: its own, or those of the SharedReads
    // scope that lives.
    ReadStore& Reads() const;
    std::unique_ptr<ReadStore> reads_;
    std::vector<std::unique_ptr<Workbook>> books_;
    Workbook* active_ = nullptr;
};

// While one lives, every Application takes the workbook files it reads from one store, so a
// file read by one hidden instance serves the others: a newer version read to locate the
// panels' ranges again is the one their pictures are painted from. Scopes nest (the outermost
// one owns the store); for the thread that runs the instances.
class SharedReads {
public:
    SharedReads();
    ~SharedReads();
    SharedReads(const SharedReads&) = delete;
    SharedReads& operator=(const SharedReads&) = delete;
    // Whether a scope lives: a file read now serves every instance until it ends.
    static bool Active();

private:
    std::unique_ptr<ReadStore> owned_;
};

}  // namespace xl
