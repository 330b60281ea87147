// Reads an .xlsx / .xlsm package into WorkbookData: at once only its zip directory and the
// workbook part with its list of sheets; the shared strings, the styles, each sheet (see
// SheetReader.cpp) and each chart the first time something needs them.

#include "platform/workbook/WorkbookData.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/FontMap.h"
#include "platform/workbook/SheetReader.h"
#include "platform/workbook/XmlSlices.h"
#include "platform/workbook/ZipArchive.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QStringDecoder>
#include <QTimeZone>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace xl {

// ---- lookups on the read data ---------------------------------------------------------------

const RowData* SheetData::FindRow(int32_t row) const {
    auto it = std::lower_bound(rows.begin(), rows.end(), row,
                               [](const RowData& r, int32_t v) { return r.row < v; });
    return it != rows.end() && it->row == row ? &*it : nullptr;
}

std::optional<Cell> SheetData::FindCell(int32_t row, int32_t col) const {
    const RowData* r = FindRow(row);
    if (!r)
        return std::nullopt;
    const uint32_t i = cells.LowerBound(*r, col);
    if (i == r->cellCount || cells.Col(*r, i) != col)
        return std::nullopt;
    return cells.At(*r, i);
}

namespace {

// A cell that holds no number is kept as a signalling NaN with a sign: its top 16 bits are the
// tag, the next 8 its kind, the low 32 its string's index (a boolean's 0 or 1). No number read
// from a file is such a NaN (the parser's NaNs are quiet); one that is would be stored as the
// quiet NaN, so a number never reads back as another kind.
constexpr uint64_t kTagMask = 0xFFFF000000000000ull;
constexpr uint64_t kTag = 0xFFF4000000000000ull;

bool Tagged(uint64_t bits) { return (bits & kTagMask) == kTag; }

}  // namespace

Cell CellStore::At(const RowData& row, uint32_t i) const {
    const size_t at = size_t(row.firstCell) + i;
    Cell c;
    const uint64_t bits = values_[at];
    if (!Tagged(bits)) {
        c.kind = CellKind::Number;
        c.number = std::bit_cast<double>(bits);
    } else {
        c.kind = CellKind(uint8_t(bits >> 40));
        if (c.kind == CellKind::Boolean)
            c.number = uint32_t(bits) != 0 ? 1 : 0;
        else
            c.text = uint32_t(bits);
    }
    c.col = uint16_t(Col(row, i));
    c.style = row.stylesAt == kShared ? row.cellStyle : styles_[row.stylesAt + i];
    return c;
}

uint32_t CellStore::LowerBound(const RowData& row, int32_t col) const {
    if (row.cellCount == 0)
        return 0;
    if (row.colsAt == kShared)
        return uint32_t(std::clamp<int64_t>(int64_t(col) - row.firstCol, 0, row.cellCount));
    const uint16_t* begin = cols_.data() + row.colsAt;
    return uint32_t(std::lower_bound(begin, begin + row.cellCount, col, [](uint16_t c, int32_t v) { return c < v; }) -
                    begin);
}

void CellStore::AddRow(RowData& row, const Cell* cells, uint32_t count) {
    const size_t at = values_.size();
    row.firstCell = uint32_t(at);
    row.cellCount = count;
    row.firstCol = count > 0 ? cells[0].col : 0;
    row.cellStyle = count > 0 ? cells[0].style : 0;
    row.colsAt = kShared;
    row.stylesAt = kShared;
    values_.resize(at + count);
    uint64_t* value = values_.data() + at;
    bool sideBySide = true, oneStyle = true;
    for (uint32_t i = 0; i < count; ++i) {
        const Cell& c = cells[i];
        if (c.kind == CellKind::Number) {
            const uint64_t bits = std::bit_cast<uint64_t>(c.number);
            value[i] = Tagged(bits) ? std::bit_cast<uint64_t>(std::numeric_limits<double>::quiet_NaN()) : bits;
        } else {
            const uint32_t payload = c.kind == CellKind::Boolean ? uint32_t(c.number != 0) : c.text;
            value[i] = kTag | (uint64_t(uint8_t(c.kind)) << 40) | payload;
        }
        sideBySide = sideBySide && c.col == row.firstCol + i;
        oneStyle = oneStyle && c.style == row.cellStyle;
    }
    if (!sideBySide) {
        row.colsAt = uint32_t(cols_.size());
        for (uint32_t i = 0; i < count; ++i)
            cols_.push_back(cells[i].col);
    }
    if (!oneStyle) {
        row.stylesAt = uint32_t(styles_.size());
        for (uint32_t i = 0; i < count; ++i)
            styles_.push_back(cells[i].style);
    }
}

void CellStore::Reserve(size_t cells) {
    values_.reserve(values_.size() + cells);
    AdviseLargePages(values_.data(), values_.capacity() * sizeof(uint64_t));
}

const ColSpan* SheetData::FindCol(int32_t col) const {
    auto it = std::upper_bound(cols.begin(), cols.end(), col,
                               [](int32_t v, const ColSpan& s) { return v < s.first; });
    if (it == cols.begin())
        return nullptr;
    --it;
    return col <= it->last ? &*it : nullptr;
}

qsizetype StringTable::Piece(const char* utf8, size_t bytes) {
    const qsizetype used = text_.size();
    // A character never takes more UTF-16 units than UTF-8 bytes.
    if (used + qsizetype(bytes) > qsizetype(UINT32_MAX))
        throw Error(QStringLiteral("its strings are too long to read"));
    if (text_.capacity() < used + qsizetype(bytes))
        text_.reserve(std::max(2 * text_.capacity(), used + qsizetype(bytes)));
    text_.resize(used + qsizetype(bytes));
    QStringDecoder utf8Decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless |
                                                         QStringConverter::Flag::ConvertInitialBom);
    const QChar* end = utf8Decoder.appendToBuffer(text_.data() + used, QByteArrayView(utf8, qsizetype(bytes)));
    text_.resize(end - text_.constData());
    return PieceSize();
}

void StringTable::End() { ends_.push_back(uint32_t(text_.size())); }

void StringTable::Squeeze() {
    text_.squeeze();
    ends_.shrink_to_fit();
}

CellValue SheetData::ValueOf(const Cell& c, const StringTable& sharedStrings) const {
    switch (c.kind) {
    case CellKind::Blank: return {};
    case CellKind::Number: return CellValue::Number(c.number);
    case CellKind::Boolean: return CellValue::Boolean(c.number != 0);
    case CellKind::SharedString: return CellValue::Text(sharedStrings[c.text]);
    case CellKind::Text: return CellValue::Text(strings[c.text]);
    case CellKind::Error: return CellValue::Error(strings[c.text]);
    }
    return {};
}

// ---- font measurement -----------------------------------------------------------------------

namespace {

// Digit advance per em of the common fonts, for when nothing can be measured.
double DigitEm(const QString& name) {
    const QString n = name.toLower();
    if (n.startsWith(QLatin1String("calibri")) || n == QLatin1String("carlito"))
        return 0.507;
    if (n.startsWith(QLatin1String("courier")) || n.contains(QLatin1String("mono")))
        return 0.6;
    if (n.startsWith(QLatin1String("times")) || n.contains(QLatin1String("serif")))
        return 0.5;
    if (n == QLatin1String("cambria") || n == QLatin1String("caladea"))
        return 0.555;
    return 0.556;  // Arial, Liberation Sans and most sans-serif faces
}

}  // namespace

namespace {

// The widest digit's advance per em of the font standing in for `fontName`, measured large so
// that no hinting is in it; the fixed table when nothing can be measured.
double WidestDigitEm(const QString& fontName) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QString family = StandInFamily(fontName);
        QFont font(family);
        font.setPixelSize(1000);
        if (QFontInfo(font).family().compare(family, Qt::CaseInsensitive) == 0) {
            QFontMetricsF fm(font);
            double widest = 0;
            for (char d = '0'; d <= '9'; ++d)
                widest = std::max(widest, fm.horizontalAdvance(QLatin1Char(d)));
            if (widest > 0)
                return widest / 1000.0;
        }
    }
    return DigitEm(fontName);
}

}  // namespace

int MaxDigitWidth(const QString& fontName, double pointSize) {
    return std::max(1, int(std::lround(WidestDigitEm(fontName) * pointSize * 96.0 / 72.0)));
}

int DigitTwips(const QString& fontName, double pointSize) {
    constexpr double kDeviceDpi = 8640, kMm100PerInch = 2540;
    const double size = std::isfinite(pointSize) ? std::clamp(pointSize, 1.0, 409.0) : 11.0;
    const double height = std::round(size * 20 * kDeviceDpi / kMm100PerInch);
    const double advance = std::round(WidestDigitEm(fontName) * height);
    return std::max(1, int(std::lround(advance * kMm100PerInch / kDeviceDpi)));
}

namespace {

[[noreturn]] void Fail(const QString& reason) { throw Error(reason); }

// ---- the package ----------------------------------------------------------------------------

QString RelTarget(const QList<Relationship>& rels, const char* kind) {
    for (const Relationship& r : rels)
        if (!r.external && r.Kind() == QLatin1String(kind))
            return r.target;
    return {};
}

void Detect(const ZipSource& zip) {
    if (zip.Size() == 0)
        Fail(QStringLiteral("the file is empty"));
    const QByteArray bytes = zip.Read(0, std::min<int64_t>(zip.Size(), 8));
    if (bytes.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        Fail(QStringLiteral("it is an Excel 97-2003 (.xls) workbook or a password-protected file"));
    if (!bytes.startsWith("PK"))
        Fail(QStringLiteral("it is not a zip package"));
}

// The shared strings, read in slices of whole items as the part is inflated, so that the table
// of a large workbook never needs the part's whole text, nor a tree of more than a slice.
StringTable ReadSharedStrings(const Package& pkg, const QString& partName, size_t maxStrings) {
    StringTable out;
    const auto add = [&](const pugi::xml_node& si) {
        if (out.size() >= maxStrings)
            Fail(QStringLiteral("it has more than %1 shared strings, more than its sheets have "
                                "cells to show")
                     .arg(maxStrings));
        AppendItemText(out, si, [&] { return QStringLiteral("shared string %1").arg(out.size() + 1); });
    };
    PartText text(pkg, partName);
    text.Fill(PartText::kChunk);
    // Slices are cut in UTF-8; a part in UTF-16 is read whole.
    const QByteArrayView start = text.View();
    if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF") ||
        (start.size() > 1 && (start[0] == 0 || start[1] == 0))) {
        text.FillAll();
        pugi::xml_document doc;
        LoadXml(doc, text.View().toByteArray(), partName, pugi::parse_default | pugi::parse_ws_pcdata_single);
        for (pugi::xml_node si : doc.document_element().children())
            if (Is(si, "si"))
                add(si);
        return out;
    }
    // The root's start tag; what follows it, up to its end tag, is the items.
    qsizetype root = -1, begin = -1;
    for (;;) {
        const QByteArrayView xml = text.View();
        root = 0;
        while ((root = xml.indexOf('<', root)) >= 0 && root + 1 < xml.size() &&
               (xml[root + 1] == '?' || xml[root + 1] == '!'))
            ++root;
        begin = root < 0 || root + 1 >= xml.size() ? -1 : xml.indexOf('>', root);
        if (begin >= 0 || text.AtEnd())
            break;
        text.Fill(text.Size() + PartText::kChunk);
    }
    if (begin < 0 || text.View()[begin - 1] == '/') {
        text.FillAll();
        pugi::xml_document doc;
        LoadXml(doc, text.View().toByteArray(), partName);  // an empty table, or why it is not well-formed
        return out;
    }
    qsizetype name = root + 1;
    while (name < begin && !IsNameEnd(text.View()[name]))
        ++name;
    const QByteArrayView rootName = text.View().sliced(root + 1, name - root - 1);
    const qsizetype colon = rootName.indexOf(':');
    const QByteArray itemStart = "<" + (colon < 0 ? QByteArray() : rootName.first(colon + 1).toByteArray()) + "si";
    text.Drop(begin + 1);

    // Slices of whole items: up to the start of the last item that may not be all here yet.
    constexpr qsizetype kSlice = qsizetype(1) << 20;
    auto parse = [&](qsizetype end) {
        pugi::xml_document frag;
        LoadSlice(frag, text.MutableData(), size_t(end), partName, text.Offset(),
                  QStringLiteral("the shared strings from number %1 on").arg(out.size() + 1));
        for (pugi::xml_node si = frag.first_child(); si; si = si.next_sibling())
            if (si.type() == pugi::node_element && Is(si, "si"))
                add(si);
        text.Drop(end);
    };
    for (qsizetype want = kSlice;;) {
        text.Fill(want);
        if (text.AtEnd()) {
            // The rest, up to the root's end tag, a slice at a time.
            qsizetype end = text.View().lastIndexOf("</");
            if (end < 0)
                Fail(QStringLiteral("part %1 is not well-formed XML (its end tag is missing)").arg(partName));
            while (end > 0) {
                qsizetype cut = end <= kSlice ? end : FindTag(text.View().first(end), itemStart, kSlice);
                if (cut <= 0)
                    cut = end;
                parse(cut);
                end -= cut;
            }
            break;
        }
        const qsizetype last = FindLastTag(text.View(), itemStart, text.Size());
        if (last > 0) {
            parse(last);
            want = kSlice;
        } else {
            want = text.Size() + kSlice;  // an item longer than a slice: read on
        }
    }
    out.Squeeze();
    return out;
}

// The workbook part and its list of sheets; nothing else is read yet.
void ReadWorkbookPart(WorkbookData& wb) {
    const Package& pkg = wb.package;
    // An OpenDocument file is a zip too: its first entry says what it is.
    if (pkg.Has(QStringLiteral("mimetype"))) {
        const QByteArray mime = pkg.Part(QStringLiteral("mimetype")).trimmed();
        if (mime.startsWith("application/vnd.oasis.opendocument"))
            Fail(QStringLiteral("it is an OpenDocument file (%1), not .xlsx")
                     .arg(QString::fromUtf8(mime.left(80))));
    }
    wb.workbookPart = RelTarget(pkg.Relationships(QString()), "officeDocument");
    if (wb.workbookPart.isEmpty())
        wb.workbookPart = QStringLiteral("xl/workbook.xml");
    if (!pkg.Has(wb.workbookPart))
        Fail(QStringLiteral("the workbook part %1 is missing").arg(wb.workbookPart));
    const QString type = pkg.ContentType(wb.workbookPart);
    if (!type.isEmpty() && !type.contains(QLatin1String("spreadsheetml.sheet.main")) &&
        !type.contains(QLatin1String("spreadsheetml.template.main")) &&
        !type.contains(QLatin1String("ms-excel.sheet.macroEnabled.main")) &&
        !type.contains(QLatin1String("ms-excel.template.macroEnabled.main")))
        Fail(QStringLiteral("its main part is of type %1").arg(type));
    wb.macroEnabled = type.contains(QLatin1String("macroEnabled"));

    pugi::xml_document doc;
    LoadXml(doc, pkg.Part(wb.workbookPart), wb.workbookPart);
    pugi::xml_node root = doc.document_element();
    if (!Is(root, "workbook"))
        Fail(QStringLiteral("part %1 is not a workbook").arg(wb.workbookPart));
    wb.workbookRels = pkg.Relationships(wb.workbookPart);
    wb.date1904 = Child(root, "workbookPr").attribute("date1904").as_bool(false);
    wb.activeTab = std::max(0, Child(Child(root, "bookViews"), "workbookView").attribute("activeTab").as_int(0));

    wb.themePart = RelTarget(wb.workbookRels, "theme");
    wb.stylesPart = RelTarget(wb.workbookRels, "styles");
    wb.sharedStringsPart = RelTarget(wb.workbookRels, "sharedStrings");

    QHash<QString, qsizetype> relIndex;
    for (qsizetype i = 0; i < wb.workbookRels.size(); ++i)
        if (!wb.workbookRels[i].external)
            relIndex.insert(wb.workbookRels[i].id, i);  // a later one of the same id wins
    QHash<QString, QString> sheetOfPart;
    for (pugi::xml_node s : Child(root, "sheets").children()) {
        if (!Is(s, "sheet"))
            continue;
        SheetEntry sheet;
        sheet.name = QString::fromUtf8(s.attribute("name").value());
        sheet.sheetId = s.attribute("sheetId").as_int(0);
        if (pugi::xml_attribute st = s.attribute("state"))
            sheet.state = QString::fromUtf8(st.value());
        sheet.relId = QString::fromUtf8(Attr(s, "id", true).value());
        QString kind;
        if (auto it = relIndex.constFind(sheet.relId); it != relIndex.constEnd()) {
            sheet.partName = wb.workbookRels[*it].target;
            kind = wb.workbookRels[*it].Kind();
        }
        if (sheet.partName.isEmpty() || !pkg.Has(sheet.partName))
            Fail(QStringLiteral("the part of sheet \"%1\" is missing").arg(sheet.name));
        // Each sheet has a part of its own, so there are never more sheets than parts.
        if (auto it = sheetOfPart.constFind(sheet.partName); it != sheetOfPart.constEnd())
            Fail(QStringLiteral("sheets \"%1\" and \"%2\" are both stored in part %3")
                     .arg(*it, sheet.name, sheet.partName));
        sheetOfPart.insert(sheet.partName, sheet.name);
        sheet.kind = kind == QLatin1String("worksheet")    ? SheetKind::Worksheet
                     : kind == QLatin1String("chartsheet") ? SheetKind::ChartSheet
                                                           : SheetKind::Other;
        wb.sheets.push_back(std::move(sheet));
    }
    if (wb.sheets.empty())
        Fail(QStringLiteral("the workbook has no sheets"));
    if (wb.activeTab >= int(wb.sheets.size()))
        wb.activeTab = 0;
}

}  // namespace

std::shared_ptr<const WorkbookData> ReadWorkbookSource(const std::shared_ptr<const ZipSource>& zip, const QString& path,
                                                       const PackageLimits& limits) {
    auto wb = std::make_shared<WorkbookData>();
    wb->path = path;
    try {
        if (zip->Size() > (int64_t(1) << 30))
            Fail(QStringLiteral("the file is larger than 1 GB"));
        Detect(*zip);
        wb->package = Package::FromSource(zip, limits);
        ReadWorkbookPart(*wb);
        for (size_t i = 0; i < wb->sheets.size(); ++i)
            wb->sheetData_.push_back(std::make_unique<ReadOnce<SheetData>>());
    } catch (const Error& e) {
        throw Error(QStringLiteral("%1 is not an .xlsx workbook this program can read: %2")
                        .arg(path, e.Message()));
    } catch (const std::bad_alloc&) {
        throw Error(QStringLiteral("%1 is not an .xlsx workbook this program can read: it is "
                                   "too large to read into memory")
                        .arg(path));
    }
    return wb;
}

std::shared_ptr<const WorkbookData> ReadWorkbookBytes(const QByteArray& bytes, const QString& path,
                                                      const PackageLimits& limits) {
    return ReadWorkbookSource(ZipSource::InMemory(bytes), path, limits);
}

// ---- what is read on first use --------------------------------------------------------------

template <class T, class Read>
const T& WorkbookData::Guarded(const ReadOnce<T>& once, Read read) const {
    const QString prefix = QStringLiteral("%1 is not an .xlsx workbook this program can read: ").arg(path);
    // Memory that ran short is the moment's, not the workbook's: it is said but not remembered,
    // so that the next use (fewer workbooks read at once) tries again.
    try {
        return once.Get([&]() -> T {
            try {
                return read();
            } catch (const Error& e) {
                // What another part's reading refused (the shared strings a sheet needs) says
                // so already.
                if (e.Message().startsWith(prefix))
                    throw;
                throw Error(prefix + e.Message());
            }
        });
    } catch (const std::bad_alloc&) {
        throw Error(prefix + QStringLiteral("it is too large to read into memory"));
    }
}

const SheetData& WorkbookData::Sheet(size_t index) const {
    return Guarded(*sheetData_[index], [&] { return ReadSheet(*this, sheets[index]); });
}

bool WorkbookData::IsSheetRead(size_t index) const { return sheetData_[index]->IsRead(); }

const StringTable& WorkbookData::SharedStrings() const {
    return Guarded(sharedStrings_, [&] {
        if (sharedStringsPart.isEmpty() || !package.Has(sharedStringsPart))
            return StringTable();
        // A shared string is there for a cell to show, and a cell that shows one takes some
        // twenty bytes of its sheet: a table longer than the sheets can refer to is no
        // spreadsheet's, however few bytes its strings take. The sheets are measured as the
        // zip declares them, read or not.
        constexpr int64_t kMinCellBytes = 16;
        int64_t sheetBytes = 0;
        for (const Relationship& r : workbookRels)
            if (!r.external && r.Kind() == QLatin1String("worksheet"))
                sheetBytes += package.PartSize(r.target);
        return ReadSharedStrings(package, sharedStringsPart, size_t(sheetBytes / kMinCellBytes) + 1024);
    });
}

const WorkbookLook& WorkbookData::Look() const {
    return Guarded(look_, [&] {
        WorkbookLook look;
        look.theme = ReadTheme(package, themePart);
        look.styles = ReadStyles(package, stylesPart, look.theme);
        const Font font = look.styles.DefaultFont();
        look.maxDigitWidth = MaxDigitWidth(font.name, font.size);
        look.digitTwips = DigitTwips(font.name, font.size);
        return look;
    });
}

const ChartData* WorkbookData::Chart(const QString& partName) const {
    if (partName.isEmpty() || !package.Has(partName))
        return nullptr;
    ReadOnce<ChartData>* once = nullptr;
    {
        std::lock_guard<std::mutex> lock(chartsLock_);
        std::unique_ptr<ReadOnce<ChartData>>& slot = charts_[partName];
        if (!slot)
            slot = std::make_unique<ReadOnce<ChartData>>();
        once = slot.get();
    }
    return &Guarded(*once, [&] { return ReadChart(package, partName, Look().theme); });
}

void CheckWorkbookFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile())
        return;
    if (info.isDir())
        throw Error(QStringLiteral("%1 can't be read: it is a folder, not a file").arg(path));
    if (info.exists())  // a pipe, a socket or a device: opening a pipe would wait for a writer
        throw Error(QStringLiteral("%1 can't be read: it is not a regular file").arg(path));
    throw Error(QStringLiteral("%1 can't be read: the file does not exist").arg(path));
}

std::shared_ptr<const WorkbookData> ReadWorkbookFile(const QString& path) {
    CheckWorkbookFile(path);
    // Read by offset as parts are needed, never whole: a picture of a small sheet reads the
    // zip's directory and that sheet's part, whatever else the file holds.
    std::shared_ptr<const ZipSource> zip;
    try {
        zip = ZipSource::OfFile(path);
    } catch (const Error& e) {
        throw Error(QStringLiteral("%1 can't be read: %2").arg(path, e.Message()));
    }
    return ReadWorkbookSource(zip, path, PackageLimits{});
}

}  // namespace xl
