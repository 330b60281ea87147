#include "platform/workbook/SheetXml.h"

#include "platform/workbook/Error.h"

#include <QFileInfo>
#include <QSet>

#include <charconv>
#include <cmath>
#include <sstream>

namespace xl {

namespace {

// The order of a worksheet's children that the schema prescribes.
const std::vector<const char*> kSheetOrder = {
    "sheetPr", "dimension", "sheetViews", "sheetFormatPr", "cols", "sheetData", "sheetCalcPr",
    "sheetProtection", "protectedRanges", "scenarios", "autoFilter", "sortState", "dataConsolidate",
    "customSheetViews", "mergeCells", "phoneticPr", "conditionalFormatting", "dataValidations",
    "hyperlinks", "printOptions", "pageMargins", "pageSetup", "headerFooter", "rowBreaks", "colBreaks",
    "customProperties", "cellWatches", "ignoredErrors", "smartTags", "drawing", "legacyDrawing",
    "legacyDrawingHF", "drawingHF", "picture", "oleObjects", "controls", "webPublishItems",
    "tableParts", "extLst"};
const std::vector<const char*> kStyleOrder = {"numFmts", "fonts", "fills", "borders", "cellStyleXfs",
                                              "cellXfs", "cellStyles", "dxfs", "tableStyles", "colors",
                                              "extLst"};
const char* kDrawingNs = "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
const char* kDrawingMainNs = "http://schemas.openxmlformats.org/drawingml/2006/main";

QString RelType(const char* kind) { return QString::fromUtf8(kRelTypeBase) + QString::fromUtf8(kind); }

std::string Outer(const pugi::xml_node& n) {
    std::ostringstream out;
    n.print(out, "", pugi::format_raw);
    return out.str();
}

QByteArray NumberText(double v) {
    char buf[40];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return QByteArray(buf, int(res.ptr - buf));
}

bool ParseCell(const char* ref, int32_t& row, int32_t& col) {
    auto r = ParseRange(QString::fromUtf8(ref));
    if (!r || r->row1 != r->row2 || r->col1 != r->col2)
        return false;
    row = r->row1;
    col = r->col1;
    return true;
}

void SetAttr(pugi::xml_node n, const char* name, const QString& value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a)
        a = n.append_attribute(name);
    a.set_value(value.toUtf8().constData());
}

void SetAttr(pugi::xml_node n, const char* name, long long value) { SetAttr(n, name, QString::number(value)); }

// Renames an element tree copied from another part to this part's prefix.
void Reprefix(pugi::xml_node n, const QString& prefix) {
    if (n.type() != pugi::node_element)
        return;
    n.set_name((prefix + QString::fromUtf8(LocalName(n.name()))).toUtf8().constData());
    for (pugi::xml_node c : n.children())
        Reprefix(c, prefix);
}

// ---- cells ----------------------------------------------------------------------------------

pugi::xml_node SheetDataOf(pugi::xml_document& doc) {
    pugi::xml_node root = doc.document_element();
    pugi::xml_node data = Child(root, "sheetData");
    return data ? data : InsertInOrder(root, "sheetData", kSheetOrder);
}

// The <row> of `r`, made in order when asked.
pugi::xml_node RowOf(pugi::xml_node sheetData, int32_t r, bool create) {
    int32_t implicit = 0;
    for (pugi::xml_node n : sheetData.children()) {
        if (!Is(n, "row"))
            continue;
        const int32_t num = n.attribute("r") ? n.attribute("r").as_int() : implicit + 1;
        implicit = num;
        if (num == r)
            return n;
        if (num > r) {
            if (!create)
                return {};
            pugi::xml_node row = sheetData.insert_child_before((PrefixOf(sheetData) + "row").toUtf8().constData(), n);
            SetAttr(row, "r", r);
            return row;
        }
    }
    if (!create)
        return {};
    pugi::xml_node row = AppendChildLike(sheetData, "row");
    SetAttr(row, "r", r);
    return row;
}

pugi::xml_node CellOf(pugi::xml_node row, int32_t r, int32_t c, bool create) {
    int32_t implicit = 0;
    for (pugi::xml_node n : row.children()) {
        if (!Is(n, "c"))
            continue;
        int32_t cr = r, cc = implicit + 1;
        if (n.attribute("r"))
            ParseCell(n.attribute("r").value(), cr, cc);
        implicit = cc;
        if (cc == c)
            return n;
        if (cc > c) {
            if (!create)
                return {};
            pugi::xml_node cell = row.insert_child_before((PrefixOf(row) + "c").toUtf8().constData(), n);
            SetAttr(cell, "r", CellAddress(r, c, false, false));
            return cell;
        }
    }
    if (!create)
        return {};
    pugi::xml_node cell = AppendChildLike(row, "c");
    SetAttr(cell, "r", CellAddress(r, c, false, false));
    // A row's span hint would no longer cover the new cell; it is only a hint.
    row.remove_attribute("spans");
    return cell;
}

pugi::xml_node CellAt(pugi::xml_document& doc, int32_t r, int32_t c) {
    return CellOf(RowOf(SheetDataOf(doc), r, true), r, c, true);
}

uint32_t StyleOf(const pugi::xml_node& cell) { return cell.attribute("s").as_uint(0); }

void SetStyle(pugi::xml_node cell, uint32_t s) {
    if (s == 0)
        cell.remove_attribute("s");
    else
        SetAttr(cell, "s", s);
}

// Writes a value into a cell; with `keepFormula` the cell's formula stays and the value is
// its cached result.
void WriteValue(pugi::xml_node cell, const CellValue& v, bool keepFormula = false) {
    for (pugi::xml_node n = cell.first_child(); n;) {
        pugi::xml_node next = n.next_sibling();
        if (Is(n, "v") || Is(n, "is") || (!keepFormula && Is(n, "f")))
            cell.remove_child(n);
        n = next;
    }
    cell.remove_attribute("t");
    const bool formula = keepFormula && Child(cell, "f");
    auto value = [&](const QByteArray& text) {
        pugi::xml_node vn = AppendChildLike(cell, "v");
        vn.text().set(text.constData());
    };
    switch (v.type) {
    case ValueType::Empty: break;
    case ValueType::Number: value(NumberText(v.number)); break;
    case ValueType::Boolean:
        SetAttr(cell, "t", QStringLiteral("b"));
        value(v.number != 0 ? "1" : "0");
        break;
    case ValueType::Error:
        SetAttr(cell, "t", QStringLiteral("e"));
        value(v.text.toUtf8());
        break;
    case ValueType::Text:
        if (formula) {
            SetAttr(cell, "t", QStringLiteral("str"));
            value(v.text.toUtf8());
        } else {
            // An inline string leaves the shared-strings part untouched.
            SetAttr(cell, "t", QStringLiteral("inlineStr"));
            pugi::xml_node is = AppendChildLike(cell, "is");
            pugi::xml_node t = AppendChildLike(is, "t");
            if (v.text.trimmed() != v.text || v.text.contains(QLatin1Char('\n')))
                t.append_attribute("xml:space") = "preserve";
            t.text().set(v.text.toUtf8().constData());
        }
        break;
    }
}

struct ColItem {
    int32_t min, max;
    pugi::xml_node node;  // the source element whose other attributes are kept
};

// Sets the width (the file's unit; 0 hides) of columns first..last in <cols>, splitting the
// spans that reach beyond them.
void SetColumnWidths(pugi::xml_document& doc, int32_t first, int32_t last, double width) {
    pugi::xml_node root = doc.document_element();
    pugi::xml_node cols = Child(root, "cols");
    if (!cols)
        cols = InsertInOrder(root, "cols", kSheetOrder);
    pugi::xml_document scratch;
    pugi::xml_node keep = scratch.append_child("keep");
    std::vector<ColItem> items;
    for (pugi::xml_node c : cols.children())
        if (Is(c, "col"))
            items.push_back({c.attribute("min").as_int(), c.attribute("max").as_int(), keep.append_copy(c)});
    std::vector<ColItem> out;
    int32_t next = first;
    auto setWidth = [&](pugi::xml_node n) {
        if (width <= 0) {
            SetAttr(n, "hidden", QStringLiteral("1"));
        } else {
            n.remove_attribute("hidden");
            SetAttr(n, "width", QString::fromUtf8(NumberText(width)));
            SetAttr(n, "customWidth", QStringLiteral("1"));
        }
    };
    std::sort(items.begin(), items.end(), [](const ColItem& a, const ColItem& b) { return a.min < b.min; });
    for (const ColItem& it : items) {
        if (it.max < first || it.min > last) {
            out.push_back(it);
            continue;
        }
        if (it.min < first)
            out.push_back({it.min, first - 1, it.node});
        const int32_t a = std::max(it.min, first), b = std::min(it.max, last);
        if (a > next) {
            pugi::xml_node n = keep.append_child("col");
            setWidth(n);
            out.push_back({next, a - 1, n});
        }
        pugi::xml_node n = keep.append_copy(it.node);
        setWidth(n);
        out.push_back({a, b, n});
        next = b + 1;
        if (it.max > last)
            out.push_back({last + 1, it.max, it.node});
    }
    if (next <= last) {
        pugi::xml_node n = keep.append_child("col");
        setWidth(n);
        out.push_back({next, last, n});
    }
    std::sort(out.begin(), out.end(), [](const ColItem& a, const ColItem& b) { return a.min < b.min; });
    while (cols.first_child())
        cols.remove_child(cols.first_child());
    for (const ColItem& it : out) {
        pugi::xml_node n = cols.append_copy(it.node);
        n.set_name((PrefixOf(cols) + "col").toUtf8().constData());
        // min and max come first, as spreadsheets write them.
        n.remove_attribute("min");
        n.remove_attribute("max");
        n.prepend_attribute("max") = it.max;
        n.prepend_attribute("min") = it.min;
        if (!n.attribute("width"))
            n.append_attribute("width") = NumberText(8.43 + 0.71).constData();
    }
}

// ---- drawings -------------------------------------------------------------------------------

// The shape element of an anchor and its own cNvPr.
pugi::xml_node ShapeElementOf(const pugi::xml_node& anchor) {
    for (pugi::xml_node n : anchor.children())
        if (n.type() == pugi::node_element && !Is(n, "from") && !Is(n, "to") && !Is(n, "ext") && !Is(n, "pos") &&
            !Is(n, "clientData"))
            return n;
    return {};
}

pugi::xml_node CNvPrOf(const pugi::xml_node& shape) {
    return shape.find_node([](const pugi::xml_node& n) { return Is(n, "cNvPr"); });
}

bool IsAnchor(const pugi::xml_node& n) {
    return Is(n, "twoCellAnchor") || Is(n, "oneCellAnchor") || Is(n, "absoluteAnchor");
}

void WritePoint(pugi::xml_node p, const GridPoint& g) {
    auto set = [&](const char* name, long long v) {
        pugi::xml_node c = Child(p, name);
        if (!c)
            c = AppendChildLike(p, name);
        c.text().set(QByteArray::number(v).constData());
    };
    set("col", g.col);
    set("colOff", g.colOff);
    set("row", g.row);
    set("rowOff", g.rowOff);
}

void WriteAnchor(pugi::xml_node anchor, const DrawingShape& s) {
    const Anchor& a = s.anchor;
    if (pugi::xml_node from = Child(anchor, "from"))
        WritePoint(from, a.from);
    if (a.type == Anchor::Type::TwoCell) {
        if (pugi::xml_node to = Child(anchor, "to"))
            WritePoint(to, a.to);
    }
    if (pugi::xml_node pos = Child(anchor, "pos")) {
        SetAttr(pos, "x", a.x);
        SetAttr(pos, "y", a.y);
    }
    if (pugi::xml_node ext = Child(anchor, "ext")) {
        SetAttr(ext, "cx", a.cx);
        SetAttr(ext, "cy", a.cy);
    }
    pugi::xml_node shape = ShapeElementOf(anchor);
    if (pugi::xml_node nv = CNvPrOf(shape))
        SetAttr(nv, "name", s.name);
    // The shape's own transform repeats its size; keep it in step with the anchor.
    pugi::xml_node xfrm = shape.find_node([](const pugi::xml_node& n) { return Is(n, "xfrm"); });
    if (pugi::xml_node ext = Child(xfrm, "ext")) {
        SetAttr(ext, "cx", a.cx);
        SetAttr(ext, "cy", a.cy);
    }
}

int NextShapeId(const pugi::xml_document& doc) {
    int id = 0;
    for (pugi::xpath_node n : doc.select_nodes("//*[local-name()='cNvPr']"))
        id = std::max(id, n.node().attribute("id").as_int());
    return id + 1;
}

// The drawing part of a sheet; a new, empty one is made (and tied to the sheet) when it has none.
QString EnsureDrawing(PackageEdit& pkg, const SheetData& sheet) {
    for (const Relationship& r : pkg.Relationships(sheet.partName))
        if (r.Kind() == QLatin1String("drawing") && !r.external && pkg.Has(r.target))
            return r.target;
    const QString part = pkg.FreeName(QStringLiteral("xl/drawings/drawing"), QStringLiteral(".xml"));
    pkg.Set(part, QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                             "<xdr:wsDr xmlns:xdr=\"") +
                      kDrawingNs + "\" xmlns:a=\"" + kDrawingMainNs + "\"></xdr:wsDr>");
    pkg.SetOverride(part, QStringLiteral("application/vnd.openxmlformats-officedocument.drawing+xml"));
    const QString relId = pkg.AddRelationship(sheet.partName, RelType("drawing"), part);
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(sheet.partName), sheet.partName);
    pugi::xml_node root = doc.document_element();
    QString rPrefix;
    for (pugi::xml_attribute a : root.attributes())
        if (QByteArray(a.name()).startsWith("xmlns:") && std::strcmp(a.value(), kRelNs) == 0)
            rPrefix = QString::fromUtf8(a.name() + 6);
    if (rPrefix.isEmpty()) {
        rPrefix = QStringLiteral("r");
        root.append_attribute("xmlns:r") = kRelNs;
    }
    pugi::xml_node drawing = InsertInOrder(root, "drawing", kSheetOrder);
    drawing.append_attribute((rPrefix + ":id").toUtf8().constData()) = relId.toUtf8().constData();
    pkg.Set(sheet.partName, SavePart(doc));
    return part;
}

QByteArray RelsXml(const QString& sourcePart, const QList<Relationship>& rels) {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node root = doc.append_child("Relationships");
    root.append_attribute("xmlns") = "http://schemas.openxmlformats.org/package/2006/relationships";
    for (const Relationship& r : rels) {
        pugi::xml_node n = root.append_child("Relationship");
        n.append_attribute("Id") = r.id.toUtf8().constData();
        n.append_attribute("Type") = r.type.toUtf8().constData();
        n.append_attribute("Target") =
            (r.external ? r.target : RelativeTarget(sourcePart, r.target)).toUtf8().constData();
        if (r.external)
            n.append_attribute("TargetMode") = "External";
    }
    return SavePart(doc);
}

// Copies a part of another package, and every part it refers to, under free names; a part
// already copied in this operation is reused.
QString CopyPartTree(const Package& src, const QString& part, PackageEdit& dst, QHash<QString, QString>& done) {
    if (done.contains(part))
        return done.value(part);
    const QFileInfo info(part);
    QString stem = info.completeBaseName();
    while (!stem.isEmpty() && stem.back().isDigit())
        stem.chop(1);
    const QString folder = info.path() == QLatin1String(".") ? QString() : info.path() + QLatin1Char('/');
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString name = dst.FreeName(folder + stem, suffix);
    done.insert(part, name);
    dst.Set(name, src.Part(part));
    const QString type = src.ContentType(part);
    if (!type.isEmpty()) {
        if (info.suffix().compare(QLatin1String("xml"), Qt::CaseInsensitive) == 0)
            dst.SetOverride(name, type);
        else
            dst.EnsureDefault(info.suffix().toLower(), type);
    }
    QList<Relationship> rels = src.Relationships(part);
    if (!rels.isEmpty()) {
        for (Relationship& r : rels)
            if (!r.external && src.Has(r.target))
                r.target = CopyPartTree(src, r.target, dst, done);
        dst.Set(Package::RelsPartName(name), RelsXml(name, rels));
    }
    return name;
}

// Every relationship id the element names, renamed at once (an old id may be a new one too).
void ReplaceRelIds(pugi::xml_node n, const QHash<QString, QString>& ids) {
    for (pugi::xml_attribute a : n.attributes()) {
        const QByteArray name(a.name());
        if (name.endsWith(":id") || name.endsWith(":embed") || name.endsWith(":link")) {
            auto it = ids.find(QString::fromUtf8(a.value()));
            if (it != ids.end())
                a.set_value(it->toUtf8().constData());
        }
    }
    for (pugi::xml_node c : n.children())
        ReplaceRelIds(c, ids);
}

// Appends a one-cell anchor at (row, col) of `cx` x `cy` EMU holding `shape` to a drawing.
void AppendAnchor(pugi::xml_document& drawing, const pugi::xml_node& shape, int32_t row, int32_t col, int64_t cx,
                  int64_t cy) {
    pugi::xml_node root = drawing.document_element();
    pugi::xml_document frag;
    const QByteArray text = QStringLiteral(
        "<xdr:oneCellAnchor xmlns:xdr=\"%1\"><xdr:from><xdr:col>%2</xdr:col><xdr:colOff>0</xdr:colOff>"
        "<xdr:row>%3</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx=\"%4\" cy=\"%5\"/>"
        "<xdr:clientData/></xdr:oneCellAnchor>")
                                .arg(QString::fromUtf8(kDrawingNs))
                                .arg(col - 1)
                                .arg(row - 1)
                                .arg(cx)
                                .arg(cy)
                                .toUtf8();
    frag.load_buffer(text.constData(), size_t(text.size()));
    pugi::xml_node anchor = root.append_copy(frag.document_element());
    // Elements of the drawing's own namespace take the prefix the part uses for it.
    const QString prefix = PrefixOf(root);
    for (pugi::xml_node n : anchor.children())
        Reprefix(n, prefix);
    anchor.set_name((prefix + "oneCellAnchor").toUtf8().constData());
    if (prefix != QLatin1String("xdr:"))
        anchor.remove_attribute("xmlns:xdr");
    anchor.insert_copy_before(shape, Child(anchor, "clientData"));
}

}  // namespace

const char* const kDefaultStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/><family val=\"2\"/>"
    "<scheme val=\"minor\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "<dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";

// ---- StylesEdit -----------------------------------------------------------------------------

StylesEdit::StylesEdit(PackageEdit& pkg, const WorkbookData& book) : pkg_(&pkg), part_(book.stylesPart) {
    if (part_.isEmpty() || !pkg.Has(part_)) {
        // Styles are optional in a package; cell formats need them.
        part_ = pkg.Has(QStringLiteral("xl/styles.xml")) ? pkg.FreeName(QStringLiteral("xl/styles"), QStringLiteral(".xml"))
                                                          : QStringLiteral("xl/styles.xml");
        pkg.Set(part_, kDefaultStyles);
        pkg.SetOverride(part_, QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"));
        pkg.AddRelationship(book.workbookPart, RelType("styles"), part_);
    }
    LoadPart(doc_, pkg.Get(part_), part_);
}

StylesEdit::StylesEdit(const QByteArray& bytes) {
    if (!bytes.isEmpty())
        LoadPart(doc_, bytes, QStringLiteral("styles"));
}

pugi::xml_node StylesEdit::Section(const char* name) {
    pugi::xml_node root = doc_.document_element();
    pugi::xml_node s = Child(root, name);
    return s ? s : InsertInOrder(root, name, kStyleOrder);
}

pugi::xml_node StylesEdit::Item(const char* section, uint32_t index) const {
    uint32_t i = 0;
    for (pugi::xml_node n : Child(doc_.document_element(), section).children()) {
        if (n.type() != pugi::node_element)
            continue;
        if (i++ == index)
            return n;
    }
    return {};
}

uint32_t StylesEdit::Add(const char* section, const pugi::xml_node& item) {
    pugi::xml_node sec = Section(section);
    const QString prefix = PrefixOf(sec);
    pugi::xml_document scratch;
    pugi::xml_node copy = scratch.append_copy(item);
    Reprefix(copy, prefix);
    const std::string want = Outer(copy);
    uint32_t i = 0;
    for (pugi::xml_node n : sec.children()) {
        if (n.type() != pugi::node_element)
            continue;
        if (Outer(n) == want)
            return i;
        ++i;
    }
    sec.append_copy(copy);
    SetAttr(sec, "count", i + 1);
    changed_ = true;
    return i;
}

int StylesEdit::CustomNumFmt(const QString& code) {
    pugi::xml_node sec = Section("numFmts");
    int maxId = 163;
    for (pugi::xml_node n : sec.children()) {
        if (!Is(n, "numFmt"))
            continue;
        if (QString::fromUtf8(n.attribute("formatCode").value()) == code)
            return n.attribute("numFmtId").as_int();
        maxId = std::max(maxId, n.attribute("numFmtId").as_int());
    }
    pugi::xml_node n = AppendChildLike(sec, "numFmt");
    n.append_attribute("numFmtId") = maxId + 1;
    n.append_attribute("formatCode") = code.toUtf8().constData();
    int count = 0;
    for (pugi::xml_node c : sec.children())
        count += Is(c, "numFmt") ? 1 : 0;
    SetAttr(sec, "count", count);
    changed_ = true;
    return maxId + 1;
}

int StylesEdit::NumFmtOf(uint32_t xf) const { return Item("cellXfs", xf).attribute("numFmtId").as_int(0); }

bool StylesEdit::IsGeneral(uint32_t xf) const {
    const int id = NumFmtOf(xf);
    if (id == 0)
        return true;
    for (pugi::xml_node n : Child(doc_.document_element(), "numFmts").children())
        if (Is(n, "numFmt") && n.attribute("numFmtId").as_int(-1) == id)
            return QString::fromUtf8(n.attribute("formatCode").value()).trimmed().compare(
                       QLatin1String("General"), Qt::CaseInsensitive) == 0;
    return false;
}

uint32_t StylesEdit::WithFill(uint32_t xf, const QColor& color) {
    pugi::xml_document scratch;
    pugi::xml_node fill = scratch.append_child("fill");
    pugi::xml_node pattern = fill.append_child("patternFill");
    pattern.append_attribute("patternType") = "solid";
    pattern.append_child("fgColor").append_attribute("rgb") =
        QStringLiteral("FF%1").arg(color.rgb() & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper().toUtf8().constData();
    pattern.append_child("bgColor").append_attribute("indexed") = 64;
    const uint32_t fillId = Add("fills", fill);
    pugi::xml_node base = Item("cellXfs", xf);
    pugi::xml_node x = base ? scratch.append_copy(base) : scratch.append_child("xf");
    x.set_name("xf");
    SetAttr(x, "fillId", fillId);
    SetAttr(x, "applyFill", QStringLiteral("1"));
    return Add("cellXfs", x);
}

uint32_t StylesEdit::WithNumFmt(uint32_t xf, int numFmtId) {
    pugi::xml_document scratch;
    pugi::xml_node base = Item("cellXfs", xf);
    pugi::xml_node x = base ? scratch.append_copy(base) : scratch.append_child("xf");
    x.set_name("xf");
    SetAttr(x, "numFmtId", numFmtId);
    SetAttr(x, "applyNumberFormat", QStringLiteral("1"));
    return Add("cellXfs", x);
}

uint32_t StylesEdit::Import(const StylesEdit& src, uint32_t xf) {
    const auto key = std::make_pair(xf, uint32_t(0));
    if (auto it = imported_.find(key); it != imported_.end())
        return it->second;
    pugi::xml_node from = src.Item("cellXfs", xf);
    if (!from)
        return 0;
    pugi::xml_document scratch;
    pugi::xml_node x = scratch.append_copy(from);
    auto bring = [&](const char* attr, const char* section) {
        if (pugi::xml_attribute a = x.attribute(attr))
            if (pugi::xml_node item = src.Item(section, a.as_uint()))
                a.set_value(Add(section, item));
    };
    bring("fontId", "fonts");
    bring("fillId", "fills");
    bring("borderId", "borders");
    if (pugi::xml_attribute a = x.attribute("numFmtId"); a && a.as_int() >= 164) {
        for (pugi::xml_node n : Child(src.doc_.document_element(), "numFmts").children())
            if (n.attribute("numFmtId").as_int() == a.as_int())
                a.set_value(CustomNumFmt(QString::fromUtf8(n.attribute("formatCode").value())));
    }
    // Named cell styles are not carried across; the copy is based on the normal style.
    if (x.attribute("xfId"))
        x.attribute("xfId").set_value(0);
    const uint32_t out = Add("cellXfs", x);
    imported_[key] = out;
    return out;
}

uint32_t StylesEdit::ImportDxf(const StylesEdit& src, uint32_t dxf) {
    const auto key = std::make_pair(dxf, uint32_t(1));
    if (auto it = imported_.find(key); it != imported_.end())
        return it->second;
    pugi::xml_node from = src.Item("dxfs", dxf);
    const uint32_t out = from ? Add("dxfs", from) : 0;
    imported_[key] = out;
    return out;
}

void StylesEdit::Save() {
    if (changed_ && pkg_)
        pkg_->Set(part_, SavePart(doc_));
    changed_ = false;
}

// ---- in-memory edits ------------------------------------------------------------------------

bool ShapeChanged(const DrawingShape& now, const DrawingShape& read) {
    const Anchor &a = now.anchor, &b = read.anchor;
    auto same = [](const GridPoint& p, const GridPoint& q) {
        return p.col == q.col && p.row == q.row && p.colOff == q.colOff && p.rowOff == q.rowOff;
    };
    return now.name != read.name || a.type != b.type || !same(a.from, b.from) ||
           (a.type == Anchor::Type::TwoCell && !same(a.to, b.to)) || a.x != b.x || a.y != b.y ||
           (a.type != Anchor::Type::TwoCell && (a.cx != b.cx || a.cy != b.cy));
}

bool WriteSheetEdits(PackageEdit& pkg, const QString& sheetPart, const SheetEdits& edits, StylesEdit& styles) {
    const bool any = (edits.values && !edits.values->empty()) || (edits.interiors && !edits.interiors->empty()) ||
                     !edits.rowHeights.empty() || !edits.colWidths.empty();
    if (!any)
        return false;
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(sheetPart), sheetPart);
    if (edits.values)
        for (const auto& [pos, value] : *edits.values)
            WriteValue(CellAt(doc, pos.first, pos.second), value);
    if (edits.interiors)
        for (const auto& [pos, color] : *edits.interiors) {
            pugi::xml_node cell = CellAt(doc, pos.first, pos.second);
            SetStyle(cell, styles.WithFill(StyleOf(cell), color));
        }
    pugi::xml_node data = SheetDataOf(doc);
    for (const auto& [first, last, points] : edits.rowHeights) {
        // A span of every row of the grid is the sheet's default, not a million rows.
        if (int64_t(last) - first > 100000) {
            pugi::xml_node fmt = Child(doc.document_element(), "sheetFormatPr");
            if (!fmt)
                fmt = InsertInOrder(doc.document_element(), "sheetFormatPr", kSheetOrder);
            if (points <= 0)
                SetAttr(fmt, "zeroHeight", QStringLiteral("1"));
            else
                SetAttr(fmt, "defaultRowHeight", QString::fromUtf8(NumberText(points)));
            continue;
        }
        for (int32_t r = first; r <= last; ++r) {
            pugi::xml_node row = RowOf(data, r, true);
            if (points <= 0) {
                SetAttr(row, "hidden", QStringLiteral("1"));
            } else {
                row.remove_attribute("hidden");
                SetAttr(row, "ht", QString::fromUtf8(NumberText(points)));
                SetAttr(row, "customHeight", QStringLiteral("1"));
            }
        }
    }
    for (const auto& [first, last, width] : edits.colWidths)
        SetColumnWidths(doc, first, last, width);
    pkg.Set(sheetPart, SavePart(doc));
    return true;
}

bool WriteShapeEdits(PackageEdit& pkg, const SheetData& sheet, const std::vector<ShapeState>& shapes) {
    if (sheet.drawingPart.isEmpty() || !pkg.Has(sheet.drawingPart))
        return false;
    bool changed = false;
    for (size_t i = 0; i < shapes.size(); ++i)
        changed = changed || shapes[i].deleted || i >= sheet.shapes.size() ||
                  ShapeChanged(shapes[i].data, sheet.shapes[i]);
    if (!changed)
        return false;
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(sheet.drawingPart), sheet.drawingPart);
    pugi::xml_node root = doc.document_element();
    QSet<QString> dropped;
    for (pugi::xml_node a = root.first_child(); a;) {
        pugi::xml_node next = a.next_sibling();
        if (IsAnchor(a)) {
            const int id = CNvPrOf(ShapeElementOf(a)).attribute("id").as_int(-1);
            for (const ShapeState& s : shapes) {
                if (s.data.id != id)
                    continue;
                if (s.deleted) {
                    if (!s.data.relId.isEmpty())
                        dropped.insert(s.data.relId);
                    root.remove_child(a);
                } else {
                    WriteAnchor(a, s.data);
                }
                break;
            }
        }
        a = next;
    }
    // A deleted picture's or chart's relationship goes when nothing else uses it.
    const std::string rest = Outer(root);
    for (const QString& id : dropped)
        if (rest.find("\"" + id.toStdString() + "\"") == std::string::npos)
            pkg.RemoveRelationship(sheet.drawingPart, id);
    pkg.Set(sheet.drawingPart, SavePart(doc));
    return true;
}

bool WriteFormulaResults(PackageEdit& pkg, const QString& sheetPart, const SheetData& recalculated,
                         const StringTable& sharedStrings) {
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(sheetPart), sheetPart);
    bool changed = false;
    for (pugi::xml_node row : SheetDataOf(doc).children()) {
        if (!Is(row, "row"))
            continue;
        for (pugi::xml_node c : row.children()) {
            if (!Is(c, "c") || !Child(c, "f"))
                continue;
            int32_t r = 0, col = 0;
            if (!ParseCell(c.attribute("r").value(), r, col))
                continue;
            const std::optional<Cell> fresh = recalculated.FindCell(r, col);
            if (!fresh)
                continue;
            const std::string before = Outer(c);
            WriteValue(c, recalculated.ValueOf(*fresh, sharedStrings), true);
            changed = changed || Outer(c) != before;
        }
    }
    if (changed)
        pkg.Set(sheetPart, SavePart(doc));
    return changed;
}

void WriteDateTime(PackageEdit& pkg, const WorkbookData& book, const SheetData& sheet, const RangeRef& range,
                   double serial) {
    StylesEdit styles(pkg, book);
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(sheet.partName), sheet.partName);
    for (int32_t r = range.row1; r <= range.row2; ++r)
        for (int32_t c = range.col1; c <= range.col2; ++c) {
            pugi::xml_node cell = CellAt(doc, r, c);
            WriteValue(cell, CellValue::Number(serial));
            // A General cell shows a date-time as the spreadsheet does when it is given one,
            // whether General is the built-in format or a custom one of that code.
            if (styles.IsGeneral(StyleOf(cell)))
                SetStyle(cell, styles.WithNumFmt(StyleOf(cell), 22));
        }
    styles.Save();
    pkg.Set(sheet.partName, SavePart(doc));
}

// ---- sheets ---------------------------------------------------------------------------------

void RemoveSheetParts(PackageEdit& pkg, const SheetData& sheet) {
    for (const Relationship& r : pkg.Relationships(sheet.partName))
        if (!r.external && r.Kind() == QLatin1String("drawing")) {
            pkg.Remove(r.target);
            pkg.Remove(Package::RelsPartName(r.target));
            pkg.RemoveOverride(r.target);
        }
    pkg.Remove(sheet.partName);
    pkg.Remove(Package::RelsPartName(sheet.partName));
    pkg.RemoveOverride(sheet.partName);
}

QString CopySheetInto(PackageEdit& pkg, const WorkbookData& dst, const WorkbookData& src, const SheetData& sheet) {
    pugi::xml_document doc;
    LoadPart(doc, src.package.Part(sheet.partName), sheet.partName);
    pugi::xml_node root = doc.document_element();
    const QByteArray srcStylesXml = src.package.Part(src.stylesPart);
    const bool sameStyles = srcStylesXml == pkg.Get(dst.stylesPart);
    const bool sameStrings = !src.sharedStringsPart.isEmpty() &&
                             src.package.Part(src.sharedStringsPart) == pkg.Get(dst.sharedStringsPart);
    StylesEdit styles(pkg, dst);
    const StylesEdit srcStyles(srcStylesXml);
    auto remap = [&](pugi::xml_node n, const char* attr) {
        if (pugi::xml_attribute a = n.attribute(attr); a && !sameStyles)
            a.set_value(styles.Import(srcStyles, a.as_uint()));
    };
    for (pugi::xml_node row : SheetDataOf(doc).children()) {
        if (!Is(row, "row"))
            continue;
        remap(row, "s");
        for (pugi::xml_node c : row.children()) {
            if (!Is(c, "c"))
                continue;
            remap(c, "s");
            if (!sameStrings && std::strcmp(c.attribute("t").value(), "s") == 0) {
                const uint32_t idx = Child(c, "v").text().as_uint();
                const QString text = idx < src.SharedStrings().size() ? src.SharedStrings()[idx] : QString();
                WriteValue(c, CellValue::Text(text), Child(c, "f"));
            }
        }
    }
    for (pugi::xml_node col : Child(root, "cols").children())
        remap(col, "style");
    if (!sameStyles)
        for (pugi::xml_node cf : root.children())
            if (Is(cf, "conditionalFormatting"))
                for (pugi::xml_node rule : cf.children())
                    if (pugi::xml_attribute a = rule.attribute("dxfId"))
                        a.set_value(styles.ImportDxf(srcStyles, a.as_uint()));
    // The copy is not selected: only the active sheet of a workbook is.
    for (pugi::xml_node v : Child(root, "sheetViews").children())
        v.remove_attribute("tabSelected");

    // Relationships: the drawing and external links come along; parts that must be unique in
    // a workbook (tables, comments, controls) are left behind with the elements naming them.
    const QString part = pkg.FreeName(QStringLiteral("xl/worksheets/sheet"), QStringLiteral(".xml"));
    QList<Relationship> kept;
    QHash<QString, QString> done;
    for (const Relationship& r : sheet.rels) {
        if (r.external && r.Kind() == QLatin1String("hyperlink")) {
            kept.append(r);
        } else if (!r.external && r.Kind() == QLatin1String("drawing") && src.package.Has(r.target)) {
            Relationship copy = r;
            copy.target = CopyPartTree(src.package, r.target, pkg, done);
            kept.append(copy);
        }
    }
    QSet<QString> keptIds;
    for (const Relationship& r : kept)
        keptIds.insert(r.id);
    for (pugi::xml_node n = root.first_child(); n;) {
        pugi::xml_node next = n.next_sibling();
        for (const char* name : {"legacyDrawing", "legacyDrawingHF", "drawingHF", "picture", "oleObjects",
                                 "controls", "tableParts", "customProperties", "webPublishItems"})
            if (Is(n, name))
                root.remove_child(n);
        n = next;
    }
    auto stripIds = [&](pugi::xml_node n) {
        if (pugi::xml_attribute a = Attr(n, "id", true); a && !keptIds.contains(QString::fromUtf8(a.value())))
            n.remove_attribute(a);
    };
    stripIds(Child(root, "pageSetup"));
    for (pugi::xml_node h : Child(root, "hyperlinks").children())
        stripIds(h);
    pkg.Set(part, SavePart(doc));
    pkg.SetOverride(part, QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"));
    if (!kept.isEmpty())
        pkg.Set(Package::RelsPartName(part), RelsXml(part, kept));
    styles.Save();
    return part;
}

// ---- pasting --------------------------------------------------------------------------------

void PastePicture(PackageEdit& pkg, const SheetData& sheet, const QByteArray& png, int widthPx, int heightPx,
                  int32_t row, int32_t col) {
    const QString drawingPart = EnsureDrawing(pkg, sheet);
    const QString media = pkg.FreeName(QStringLiteral("xl/media/image"), QStringLiteral(".png"));
    pkg.Set(media, png);
    pkg.EnsureDefault(QStringLiteral("png"), QStringLiteral("image/png"));
    const QString relId = pkg.AddRelationship(drawingPart, RelType("image"), media);
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(drawingPart), drawingPart);
    const int id = NextShapeId(doc);
    // 96 dpi: one pixel is 9525 EMU.
    const int64_t cx = int64_t(widthPx) * 9525, cy = int64_t(heightPx) * 9525;
    const QByteArray text =
        QStringLiteral(
            "<xdr:pic xmlns:xdr=\"%1\" xmlns:a=\"%2\" xmlns:r=\"%3\"><xdr:nvPicPr>"
            "<xdr:cNvPr id=\"%4\" name=\"Picture %4\"/><xdr:cNvPicPr><a:picLocks noChangeAspect=\"1\"/>"
            "</xdr:cNvPicPr></xdr:nvPicPr><xdr:blipFill><a:blip r:embed=\"%5\"/><a:stretch><a:fillRect/>"
            "</a:stretch></xdr:blipFill><xdr:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"%6\" cy=\"%7\"/>"
            "</a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></xdr:spPr></xdr:pic>")
            .arg(QString::fromUtf8(kDrawingNs), QString::fromUtf8(kDrawingMainNs), QString::fromUtf8(kRelNs))
            .arg(id)
            .arg(relId)
            .arg(cx)
            .arg(cy)
            .toUtf8();
    pugi::xml_document frag;
    frag.load_buffer(text.constData(), size_t(text.size()));
    AppendAnchor(doc, frag.document_element(), row, col, cx, cy);
    pkg.Set(drawingPart, SavePart(doc));
}

void PasteShape(PackageEdit& pkg, const WorkbookData& /*dst*/, const SheetData& sheet, const WorkbookData& src,
                const SheetData& srcSheet, const DrawingShape& shape, int32_t row, int32_t col, double width,
                double height) {
    pugi::xml_document srcDoc;
    LoadPart(srcDoc, src.package.Part(srcSheet.drawingPart), srcSheet.drawingPart);
    pugi::xml_node element;
    for (pugi::xml_node a : srcDoc.document_element().children())
        if (IsAnchor(a) && CNvPrOf(ShapeElementOf(a)).attribute("id").as_int(-1) == shape.id)
            element = ShapeElementOf(a);
    if (!element)
        throw Error(QStringLiteral("Paste: the copied shape %1 is no longer in its drawing").arg(shape.name));
    const QString drawingPart = EnsureDrawing(pkg, sheet);
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(drawingPart), drawingPart);
    const int id = NextShapeId(doc);
    pugi::xml_document scratch;
    pugi::xml_node copy = scratch.append_copy(element);
    // Namespaces declared on the source drawing's root travel with the copied element.
    for (pugi::xml_attribute a : srcDoc.document_element().attributes())
        if (QByteArray(a.name()).startsWith("xmlns") && !copy.attribute(a.name()))
            copy.append_attribute(a.name()) = a.value();
    QHash<QString, QString> done;
    QHash<QString, QString> newIds;
    const std::string original = Outer(copy);
    for (const Relationship& r : srcSheet.drawingRels) {
        if (r.id != shape.relId && original.find("\"" + r.id.toStdString() + "\"") == std::string::npos)
            continue;
        if (r.external || !src.package.Has(r.target))
            continue;
        const QString target = CopyPartTree(src.package, r.target, pkg, done);
        newIds.insert(r.id, pkg.AddRelationship(drawingPart, r.type, target));
    }
    ReplaceRelIds(copy, newIds);
    pugi::xml_node nv = CNvPrOf(copy);
    SetAttr(nv, "id", id);
    const bool chart = shape.kind == ShapeKind::Chart;
    SetAttr(nv, "name", QStringLiteral("%1 %2").arg(chart ? QStringLiteral("Chart") : QStringLiteral("Picture")).arg(id));
    const int64_t cx = std::llround(width * kEmuPerPoint), cy = std::llround(height * kEmuPerPoint);
    AppendAnchor(doc, copy, row, col, cx, cy);
    // The copied element's own transform takes the anchor's size too.
    pugi::xml_node last = doc.document_element().last_child();
    while (last && !IsAnchor(last))
        last = last.previous_sibling();
    DrawingShape placed;
    placed.name = QString::fromUtf8(nv.attribute("name").value());
    placed.anchor.type = Anchor::Type::OneCell;
    placed.anchor.from = {col - 1, row - 1, 0, 0};
    placed.anchor.cx = cx;
    placed.anchor.cy = cy;
    WriteAnchor(last, placed);
    pkg.Set(drawingPart, SavePart(doc));
}

void PasteCells(PackageEdit& pkg, const WorkbookData& dst, const SheetData& sheet, const WorkbookData& src,
                const SheetData& srcSheet, const RangeRef& range, int32_t row, int32_t col) {
    const int64_t rows = range.Rows(), cols = range.Cols();
    if (row + rows - 1 > kMaxRows || col + cols - 1 > kMaxCols)
        throw Error(QStringLiteral("Paste: the copied cells don't fit on the sheet at %1").arg(CellAddress(row, col)));
    StylesEdit styles(pkg, dst);
    const QByteArray srcStylesXml = src.package.Part(src.stylesPart);
    const bool sameStyles = srcStylesXml == pkg.Get(dst.stylesPart);
    const StylesEdit srcStyles(srcStylesXml);
    pugi::xml_document doc;
    LoadPart(doc, pkg.Get(sheet.partName), sheet.partName);
    for (int32_t r = range.row1; r <= range.row2; ++r)
        for (int32_t c = range.col1; c <= range.col2; ++c) {
            const std::optional<Cell> from = srcSheet.FindCell(r, c);
            const int32_t tr = row + (r - range.row1), tc = col + (c - range.col1);
            if (!from) {
                // An empty source cell empties the target, as a paste does; cells of an
                // empty area that have nothing to lose are not made.
                pugi::xml_node trow = RowOf(SheetDataOf(doc), tr, false);
                if (pugi::xml_node cell = CellOf(trow, tr, tc, false)) {
                    WriteValue(cell, CellValue());
                    SetStyle(cell, 0);
                }
                continue;
            }
            pugi::xml_node cell = CellAt(doc, tr, tc);
            WriteValue(cell, srcSheet.ValueOf(*from, src.SharedStrings()));
            SetStyle(cell, sameStyles ? from->style : styles.Import(srcStyles, from->style));
        }
    QList<RangeRef> merges;
    for (const RangeRef& m : srcSheet.merges)
        if (range.Contains(m.row1, m.col1) && range.Contains(m.row2, m.col2))
            merges.append({m.row1 - range.row1 + row, m.col1 - range.col1 + col, m.row2 - range.row1 + row,
                           m.col2 - range.col1 + col});
    if (!merges.isEmpty()) {
        pugi::xml_node root = doc.document_element();
        pugi::xml_node mc = Child(root, "mergeCells");
        if (!mc)
            mc = InsertInOrder(root, "mergeCells", kSheetOrder);
        // Merged areas the pasted ones overlap give way, as the paste replaces those cells.
        for (pugi::xml_node n = mc.first_child(); n;) {
            pugi::xml_node next = n.next_sibling();
            if (auto old = ParseRange(QString::fromUtf8(n.attribute("ref").value())))
                for (const RangeRef& m : merges)
                    if (Intersection(*old, m)) {
                        mc.remove_child(n);
                        break;
                    }
            n = next;
        }
        for (const RangeRef& m : merges)
            AppendChildLike(mc, "mergeCell").append_attribute("ref") = FormatAddress(m, false).toUtf8().constData();
        int count = 0;
        for (pugi::xml_node n : mc.children())
            count += Is(n, "mergeCell") ? 1 : 0;
        SetAttr(mc, "count", count);
    }
    styles.Save();
    pkg.Set(sheet.partName, SavePart(doc));
}

}  // namespace xl
