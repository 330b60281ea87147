#include "platform/workbook/WorkbookWriter.h"

#include "platform/workbook/PackageWriter.h"
#include "platform/workbook/Recalc.h"
#include "platform/workbook/SheetXml.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <QUuid>

#include <set>

namespace xl {

namespace {

const QString kWorksheetType =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
const QString kDrawingType = QStringLiteral("application/vnd.openxmlformats-officedocument.drawing+xml");
const QString kMainSheet = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
const QString kMainTemplate =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml");
const QString kMainMacro = QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml");
const QString kMainMacroTemplate = QStringLiteral("application/vnd.ms-excel.template.macroEnabled.main+xml");

QString RelType(const char* kind) { return QString::fromUtf8(kRelTypeBase) + QString::fromUtf8(kind); }

// A link to another workbook names its file relative to the workbook's folder unless it is
// absolute (Excel writes "Inputs.xlsx", "../data/Inputs.xlsx" or "file:///C:/data/Inputs.xlsx").
// A copy recalculated elsewhere gets the relative ones as absolute file URLs.
void AnchorExternalLinks(PackageEdit& pkg, const QString& folder) {
    const QList<ZipEntry> entries = pkg.Entries();
    for (const ZipEntry& e : entries) {
        if (e.isDirectory || !e.name.endsWith(QLatin1String(".rels")))
            continue;
        pugi::xml_document doc;
        try {
            LoadPart(doc, pkg.Get(e.name), e.name);
        } catch (const Error&) {
            continue;  // LibreOffice is left to judge a broken part
        }
        bool changed = false;
        for (pugi::xml_node rel : doc.document_element().children()) {
            if (!Is(rel, "Relationship") ||
                QString::fromUtf8(rel.attribute("TargetMode").value()) != QLatin1String("External") ||
                !QString::fromUtf8(rel.attribute("Type").value()).endsWith(QLatin1String("/externalLinkPath")))
                continue;
            QString target = QUrl::fromPercentEncoding(rel.attribute("Target").value());
            target.replace(QLatin1Char('\\'), QLatin1Char('/'));
            if (target.isEmpty() || target.startsWith(QLatin1Char('/')) || target.contains(QLatin1Char(':')))
                continue;
            const QString absolute = QDir::cleanPath(QDir(folder).absoluteFilePath(target));
            const QByteArray url = QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded).toUtf8();
            rel.attribute("Target").set_value(url.constData());
            changed = true;
        }
        if (changed)
            pkg.Set(e.name, SavePart(doc));
    }
}

// ---- a new, empty workbook ------------------------------------------------------------------

const char* kNewContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";
const char* kNewRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
const char* kNewWorkbook =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<bookViews><workbookView activeTab=\"0\"/></bookViews>"
    "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"
    "<calcPr calcId=\"191029\"/></workbook>";
const char* kNewWorkbookRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "</Relationships>";
QByteArray NewSheetXml(bool selected) {
    return QByteArray(
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
               "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
               "<sheetViews><sheetView ") +
           (selected ? "tabSelected=\"1\" " : "") +
           "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><sheetData/>"
           "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
           "footer=\"0.3\"/></worksheet>";
}

QList<ZipEntry> NewWorkbookEntries() {
    return {
        {QStringLiteral("[Content_Types].xml"), kNewContentTypes, false},
        {QStringLiteral("_rels/.rels"), kNewRootRels, false},
        {QStringLiteral("xl/workbook.xml"), kNewWorkbook, false},
        {QStringLiteral("xl/_rels/workbook.xml.rels"), kNewWorkbookRels, false},
        {QStringLiteral("xl/styles.xml"), kDefaultStyles, false},
        {QStringLiteral("xl/worksheets/sheet1.xml"), NewSheetXml(true), false},
    };
}

// ---- the workbook part ----------------------------------------------------------------------

struct WorkbookXml {
    PackageEdit& pkg;
    QString part;
    pugi::xml_document doc;

    WorkbookXml(PackageEdit& p, const QString& name) : pkg(p), part(name) { LoadPart(doc, pkg.Get(part), part); }
    void Save() { pkg.Set(part, SavePart(doc)); }
    pugi::xml_node Sheets() { return Child(doc.document_element(), "sheets"); }
    pugi::xml_node SheetByRel(const QString& relId) {
        for (pugi::xml_node s : Sheets().children())
            if (Is(s, "sheet") && relId == QString::fromUtf8(Attr(s, "id", true).value()))
                return s;
        return {};
    }
    int Position(pugi::xml_node sheet) {
        int i = 0;
        for (pugi::xml_node s : Sheets().children()) {
            if (!Is(s, "sheet"))
                continue;
            if (s == sheet)
                return i;
            ++i;
        }
        return -1;
    }
    // A new <sheet> before `before` (at the end when null).
    pugi::xml_node AddSheet(const QString& name, const QString& relId, pugi::xml_node before) {
        pugi::xml_node sheets = Sheets();
        int maxId = 0;
        QString idAttr = QStringLiteral("r:id");
        for (pugi::xml_node s : sheets.children())
            if (Is(s, "sheet")) {
                maxId = std::max(maxId, s.attribute("sheetId").as_int());
                if (pugi::xml_attribute a = Attr(s, "id", true))
                    idAttr = QString::fromUtf8(a.name());
            }
        const QByteArray tag = (PrefixOf(sheets) + QStringLiteral("sheet")).toUtf8();
        pugi::xml_node s = before ? sheets.insert_child_before(tag.constData(), before) : sheets.append_child(tag.constData());
        s.append_attribute("name") = name.toUtf8().constData();
        s.append_attribute("sheetId") = maxId + 1;
        s.append_attribute(idAttr.toUtf8().constData()) = relId.toUtf8().constData();
        if (idAttr.contains(QLatin1Char(':'))) {
            const QByteArray ns = ("xmlns:" + idAttr.section(QLatin1Char(':'), 0, 0)).toUtf8();
            pugi::xml_node root = doc.document_element();
            if (!root.attribute(ns.constData()))
                root.append_attribute(ns.constData()) = kRelNs;
        }
        return s;
    }
    // Sheet-local defined names and the window's tabs follow a sheet removed at `pos` (or
    // inserted there when `inserted`).
    void ShiftSheetIndexes(int pos, bool inserted, int count) {
        pugi::xml_node names = Child(doc.document_element(), "definedNames");
        for (pugi::xml_node n = names.first_child(); n;) {
            pugi::xml_node next = n.next_sibling();
            if (pugi::xml_attribute a = n.attribute("localSheetId")) {
                const int id = a.as_int();
                if (!inserted && id == pos)
                    names.remove_child(n);
                else if (id > pos || (inserted && id == pos))
                    a.set_value(inserted ? id + 1 : id - 1);
            }
            n = next;
        }
        if (names && !names.find_child([](pugi::xml_node c) { return c.type() == pugi::node_element; }))
            doc.document_element().remove_child(names);
        for (pugi::xml_node v : Child(doc.document_element(), "bookViews").children()) {
            for (const char* attr : {"activeTab", "firstSheet"}) {
                pugi::xml_attribute a = v.attribute(attr);
                if (!a)
                    continue;
                int t = a.as_int();
                if (inserted && t >= pos)
                    ++t;
                else if (!inserted && t > pos)
                    --t;
                a.set_value(std::clamp(t, 0, std::max(0, count - 1)));
            }
        }
    }
    void SetActiveTab(int index) {
        pugi::xml_node views = Child(doc.document_element(), "bookViews");
        if (pugi::xml_node v = Child(views, "workbookView")) {
            pugi::xml_attribute a = v.attribute("activeTab");
            if (!a)
                a = v.append_attribute("activeTab");
            a.set_value(index);
        }
    }
};

QString UniqueSheetName(const Workbook& book, const QString& wanted) {
    auto taken = [&](const QString& n) {
        for (const SheetEntry& s : book.Data().sheets)
            if (s.name.compare(n, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    if (!taken(wanted))
        return wanted;
    for (int k = 2;; ++k) {
        const QString suffix = QStringLiteral(" (%1)").arg(k);
        const QString name = wanted.left(31 - suffix.size()) + suffix;
        if (!taken(name))
            return name;
    }
}

void CheckSheetName(const Workbook& book, const QString& name, const Worksheet* self) {
    const QString problem = SheetNameProblem(name);
    if (!problem.isEmpty())
        throw Error(problem);
    for (const SheetEntry& s : book.Data().sheets)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0 && (!self || &s != &self->Entry()))
            throw Error(QStringLiteral("The sheet name \"%1\" is already taken in %2. Choose another name.")
                            .arg(name, book.Name()));
}

// ---- what Copy put on the clipboard ----------------------------------------------------------

const char* kClipMime = "application/x-sheetbeacon-workbook-copy";

struct Clip {
    QString token;
    std::shared_ptr<const WorkbookData> data;  // the source workbook as it was copied
    int sheet = 0;
    bool isShape = false;
    RangeRef range;
    int shapeId = 0;
    double width = 0, height = 0;  // a shape's size in points
};

Clip& CurrentClip() {
    static Clip clip;
    return clip;
}

void PublishClip(Clip clip, const QString& text) {
    clip.token = QUuid::createUuid().toString();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        auto* mime = new QMimeData;
        mime->setData(QString::fromLatin1(kClipMime), clip.token.toUtf8());
        if (!text.isNull())
            mime->setText(text);
        QGuiApplication::clipboard()->setMimeData(mime);
    }
    CurrentClip() = std::move(clip);
}

// The engine's own copy when the clipboard still holds it; otherwise nothing (the user or
// the program has put something else there since).
const Clip* LiveClip() {
    const Clip& clip = CurrentClip();
    if (!clip.data)
        return nullptr;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return &clip;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime && mime->hasFormat(QString::fromLatin1(kClipMime)) &&
        QString::fromUtf8(mime->data(QString::fromLatin1(kClipMime))) == clip.token)
        return &clip;
    return nullptr;
}

QImage ClipboardImage() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime || !mime->hasImage())
        return {};
    return qvariant_cast<QImage>(mime->imageData());
}

}  // namespace

// ---- public helpers -------------------------------------------------------------------------

double DateSerial(const QDateTime& value, bool date1904) {
    const QDate base = date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    return double(base.daysTo(value.date())) + value.time().msecsSinceStartOfDay() / 86400000.0;
}

QString SheetNameProblem(const QString& name) {
    if (name.trimmed().isEmpty())
        return QStringLiteral("A sheet name can't be empty.");
    if (name.size() > 31)
        return QStringLiteral("The sheet name \"%1\" is longer than 31 characters.").arg(name);
    for (QChar c : name)
        if (QStringLiteral("[]:*?/\\").contains(c))
            return QStringLiteral("The sheet name \"%1\" holds %2; a sheet name can't hold any of [ ] : * ? / \\.")
                .arg(name, QString(c));
    if (name.startsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char('\'')))
        return QStringLiteral("The sheet name \"%1\" can't begin or end with an apostrophe.").arg(name);
    return {};
}

// ---- Writer: flushing edits, reading back ---------------------------------------------------

bool Writer::HasPendingEdits(const Workbook& book) {
    for (const auto& ws : book.sheets_) {
        if (!ws->values_.empty() || !ws->interiors_.empty() || !ws->rowHeights_.Empty() ||
            !ws->colWidths_.Empty())
            return true;
        // Shapes nothing has asked for are as the file has them.
        if (!ws->shapesRead_)
            continue;
        const std::vector<DrawingShape>& read = ws->Data().shapes;
        if (ws->shapes_.size() != read.size())
            return true;
        for (size_t i = 0; i < ws->shapes_.size(); ++i)
            if (ws->shapes_[i]->deleted_ || ShapeChanged(ws->shapes_[i]->data_, read[i]))
                return true;
    }
    return false;
}

PackageEdit Writer::Flush(Workbook& book, bool* changed) {
    PackageEdit pkg(book.data_->package);
    bool any = false;
    if (HasPendingEdits(book)) {
        StylesEdit styles(pkg, *book.data_);
        for (auto& ws : book.sheets_) {
            if (ws->Kind() != SheetKind::Worksheet)
                continue;
            SheetEdits edits;
            edits.values = &ws->values_;
            edits.interiors = &ws->interiors_;
            edits.rowHeights = ws->rowHeights_.Spans();
            edits.colWidths = ws->colWidths_.Spans();
            any |= WriteSheetEdits(pkg, ws->Entry().partName, edits, styles);
            if (!ws->shapesRead_)
                continue;
            std::vector<ShapeState> shapes;
            for (const auto& s : ws->shapes_)
                shapes.push_back({s->data_, s->deleted_});
            any |= WriteShapeEdits(pkg, ws->Data(), shapes);
        }
        styles.Save();
    }
    if (changed)
        *changed = any;
    return pkg;
}

void Writer::Commit(Workbook& book, const PackageEdit& pkg) {
    const QByteArray bytes = ZipEntries(pkg.Entries(), pkg.Source());
    Rebind(book, ReadWorkbookBytes(bytes, book.fullName_));
    book.saved_ = false;
}

void Writer::Rebind(Workbook& book, std::shared_ptr<const WorkbookData> data) {
    // The sheets the model has read are read again at once, so that a part the edit broke is
    // told now, with the model still as it was.
    std::vector<std::pair<Worksheet*, size_t>> kept;
    for (auto& ws : book.sheets_) {
        for (size_t i = 0; i < data->sheets.size(); ++i)
            if (data->sheets[i].partName == ws->Entry().partName) {
                if (ws->data_ || ws->shapesRead_)
                    data->Sheet(i);
                kept.emplace_back(ws.get(), i);
                break;
            }
    }
    Worksheet* active = book.ActiveSheet();
    std::vector<std::unique_ptr<Worksheet>> old = std::move(book.sheets_);
    book.sheets_.clear();
    for (size_t i = 0; i < data->sheets.size(); ++i) {
        std::unique_ptr<Worksheet> ws;
        for (auto& o : old)
            if (o && std::find(kept.begin(), kept.end(), std::make_pair(o.get(), i)) != kept.end()) {
                ws = std::move(o);
                break;
            }
        if (!ws) {
            ws = std::make_unique<Worksheet>(&book, int(i) + 1);
        } else {
            // The same sheet read again: its edits are in the data now, its view (selection,
            // active cell) is kept as the model had it.
            const bool hadData = ws->data_ != nullptr;
            ws->data_ = hadData ? &data->Sheet(i) : nullptr;
            ws->index_ = int(i) + 1;
            ws->values_.clear();
            ws->interiors_.clear();
            ws->rowHeights_ = SpanMap();
            ws->colWidths_ = SpanMap();
            if (ws->shapesRead_) {
                std::vector<std::unique_ptr<Shape>> shapes = std::move(ws->shapes_);
                ws->shapes_.clear();
                for (const DrawingShape& d : data->Sheet(i).shapes) {
                    std::unique_ptr<Shape> s;
                    for (auto& o : shapes)
                        if (o && !o->deleted_ && o->data_.id == d.id) {
                            s = std::move(o);
                            break;
                        }
                    if (s) {
                        s->data_ = d;
                    } else {
                        s = std::make_unique<Shape>(ws.get(), d);
                    }
                    ws->shapes_.push_back(std::move(s));
                }
            }
        }
        book.sheets_.push_back(std::move(ws));
    }
    book.data_ = std::move(data);
    book.activeSheet_ = 0;
    for (size_t i = 0; i < book.sheets_.size(); ++i)
        if (book.sheets_[i].get() == active)
            book.activeSheet_ = int(i);
}

void Writer::WriteTo(Workbook& book, const QString& path) {
    PackageEdit pkg = Flush(book);
    // The main part's type follows the file's kind, as the spreadsheet's Save As changes it:
    // a workbook made from a template is saved as a workbook.
    const QString ext = QFileInfo(path).suffix().toLower();
    const QString type = pkg.ContentType(book.data_->workbookPart);
    const bool macro = type == kMainMacro || type == kMainMacroTemplate;
    QString want = type;
    if (ext == QLatin1String("xlsx") || ext == QLatin1String("xlsm"))
        want = macro ? kMainMacro : kMainSheet;
    else if (ext == QLatin1String("xltx") || ext == QLatin1String("xltm"))
        want = macro ? kMainMacroTemplate : kMainTemplate;
    if (want != type)
        pkg.SetOverride(book.data_->workbookPart, want);
    // A picture deleted now or by an earlier save leaves its image behind: a template whose
    // placeholder was replaced would carry every earlier picture along.
    pkg.DropUnreferencedMedia();
    const QByteArray bytes = ZipEntries(pkg.Entries(), pkg.Source());
    WriteFileAtomically(path, bytes);
    Rebind(book, ReadWorkbookBytes(bytes, path));
    book.saved_ = true;
}

QString Writer::NextBookName(Application& app, const QString& stem) {
    for (int n = 1;; ++n) {
        const QString name = stem + QString::number(n);
        bool taken = false;
        for (const auto& b : app.OpenWorkbooks())
            taken = taken || b->Name().compare(name, Qt::CaseInsensitive) == 0;
        if (!taken)
            return name;
    }
}

Workbook* Writer::AddBook(Application& app, std::shared_ptr<const WorkbookData> data, const QString& name) {
    app.OpenWorkbooks().push_back(std::make_unique<Workbook>(&app, std::move(data), name));
    Workbook* book = app.OpenWorkbooks().back().get();
    book->saved_ = false;
    book->Activate();
    return book;
}

// ---- Workbook -------------------------------------------------------------------------------

bool Workbook::HasFile() const { return fullName_.contains(QLatin1Char('/')); }

bool Workbook::Saved() const { return saved_ && !Writer::HasPendingEdits(*this); }

void Workbook::Save() {
    if (!HasFile())
        throw Error(QStringLiteral("%1 has never been saved: it needs a file name (SaveAs).").arg(Name()));
    Writer::WriteTo(*this, fullName_);
}

void Workbook::SaveAs(const QString& path) {
    if (path.trimmed().isEmpty())
        throw Error(QStringLiteral("Unable to save %1: no file name was given").arg(Name()));
    const QString full = QFileInfo(path).absoluteFilePath();
    for (const auto& b : app_->OpenWorkbooks())
        if (b.get() != this && b->FullName() == full)
            throw Error(QStringLiteral("Unable to save %1 as %2: a workbook of that name is open").arg(Name(), full));
    Writer::WriteTo(*this, full);
    fullName_ = full;
}

void Workbook::Close(bool saveChanges) {
    if (saveChanges)
        Save();
    Close();
}

void Workbook::RefreshAll() {
    // The saved file is recalculated where it lies, so that links to other workbooks resolve
    // as they would for the user; a workbook with changes not yet saved goes through a copy
    // whose relative links are anchored at the workbook's own folder. So does one that another
    // LibreOffice holds open (its lock file is there): loaded beside that lock, LibreOffice
    // does not take the linked workbooks' new values (the cells come out stale, or empty).
    const bool onDisk = HasFile() && Saved() && QFileInfo::exists(fullName_) && LockFileOf(fullName_).isEmpty();
    PackageEdit pkg = Writer::Flush(*this);
    QByteArray recalculated;
    if (onDisk) {
        recalculated = RecalculateFile(fullName_);
    } else {
        PackageEdit copy = pkg;
        if (HasFile())
            AnchorExternalLinks(copy, QFileInfo(fullName_).absolutePath());
        recalculated = RecalculateBytes(ZipEntries(copy.Entries(), copy.Source()), Name());
    }
    const auto fresh = ReadWorkbookBytes(recalculated, fullName_);
    bool changed = false;
    for (const SheetEntry& sd : data_->sheets) {
        if (sd.kind != SheetKind::Worksheet)
            continue;
        for (size_t i = 0; i < fresh->sheets.size(); ++i)
            if (fresh->sheets[i].name.compare(sd.name, Qt::CaseInsensitive) == 0)
                changed |= WriteFormulaResults(pkg, sd.partName, fresh->Sheet(i), fresh->SharedStrings());
    }
    if (changed)
        Writer::Commit(*this, pkg);
}

// ---- Workbooks.Add --------------------------------------------------------------------------

Workbook* Workbooks::Add(const QString& templatePath) {
    if (templatePath.isEmpty()) {
        const QString name = Writer::NextBookName(*app_, QStringLiteral("Book"));
        auto data = ReadWorkbookBytes(ZipEntries(NewWorkbookEntries()), name);
        return Writer::AddBook(*app_, std::move(data), name);
    }
    const QFileInfo info(templatePath);
    if (!info.isFile())
        throw Error(QStringLiteral("The template %1 does not exist").arg(info.absoluteFilePath()));
    // Read through the cache: the template file itself is never written.
    auto data = app_->Load(info.absoluteFilePath());
    const QString name = Writer::NextBookName(*app_, info.completeBaseName());
    return Writer::AddBook(*app_, std::move(data), name);
}

// ---- Sheets ---------------------------------------------------------------------------------

Worksheet* Sheets::Add() {
    Workbook& book = *book_;
    QString name;
    for (int n = 1; name.isEmpty(); ++n) {
        const QString candidate = QStringLiteral("Sheet%1").arg(n);
        if (!Find(candidate))
            name = candidate;
    }
    PackageEdit pkg = Writer::Flush(book);
    const QString part = pkg.FreeName(QStringLiteral("xl/worksheets/sheet"), QStringLiteral(".xml"));
    pkg.Set(part, NewSheetXml(false));
    pkg.SetOverride(part, kWorksheetType);
    const QString relId = pkg.AddRelationship(book.Data().workbookPart, RelType("worksheet"), part);
    WorkbookXml wx(pkg, book.Data().workbookPart);
    Worksheet* active = book.ActiveSheet();
    pugi::xml_node before = active ? wx.SheetByRel(active->Entry().relId) : pugi::xml_node();
    pugi::xml_node added = wx.AddSheet(name, relId, before);
    const int pos = wx.Position(added);
    wx.ShiftSheetIndexes(pos, true, Count() + 1);
    wx.SetActiveTab(pos);
    wx.Save();
    Writer::Commit(book, pkg);
    Worksheet* ws = Item(pos + 1);
    ws->Activate();
    return ws;
}

Workbook* Sheets::Copy() {
    Workbook& book = *book_;
    PackageEdit pkg = Writer::Flush(book);
    const QString name = Writer::NextBookName(*book.Parent(), QStringLiteral("Book"));
    auto data = ReadWorkbookBytes(ZipEntries(pkg.Entries(), pkg.Source()), name);
    return Writer::AddBook(*book.Parent(), std::move(data), name);
}

// ---- Worksheet ------------------------------------------------------------------------------

void Worksheet::SetName(const QString& name) {
    if (name == Name())
        return;
    CheckSheetName(*book_, name, this);
    PackageEdit pkg = Writer::Flush(*book_);
    WorkbookXml wx(pkg, Book().workbookPart);
    pugi::xml_node s = wx.SheetByRel(Entry().relId);
    if (!s)
        throw Error(QStringLiteral("The sheet %1 is not in its workbook any more").arg(Name()));
    s.attribute("name").set_value(name.toUtf8().constData());
    wx.Save();
    Writer::Commit(*book_, pkg);
}

void Worksheet::Delete() {
    Workbook& book = *book_;
    int visible = 0;
    for (const auto& s : book.SheetObjects())
        visible += s->IsVisible() ? 1 : 0;
    if (IsVisible() && visible <= 1)
        throw Error(QStringLiteral("The sheet %1 can't be deleted: a workbook must keep at least one visible sheet.")
                        .arg(Name()));
    PackageEdit pkg = Writer::Flush(book);
    WorkbookXml wx(pkg, Book().workbookPart);
    pugi::xml_node s = wx.SheetByRel(Entry().relId);
    const int pos = wx.Position(s);
    if (s)
        wx.Sheets().remove_child(s);
    wx.ShiftSheetIndexes(pos, false, int(book.SheetObjects().size()) - 1);
    wx.Save();
    pkg.RemoveRelationship(Book().workbookPart, Entry().relId);
    RemoveSheetParts(pkg, Data());
    // This object goes away with the read-back; the sheet before it (or the next one)
    // becomes active when it was.
    auto& sheets = book.SheetObjects();
    Worksheet* next = book.ActiveSheet();
    if (next == this)
        next = sheets[size_t(index_ > 1 ? index_ - 2 : 1)].get();
    Writer::Commit(book, pkg);
    for (size_t i = 0; i < sheets.size(); ++i)
        if (sheets[i].get() == next)
            book.SetActiveSheetIndex(int(i));
}

void Worksheet::Copy(Worksheet* before) {
    if (!before)
        throw Error(QStringLiteral("Sheet.Copy needs the sheet to copy before"));
    Workbook& src = *book_;
    Workbook& dst = *before->Parent();
    if (Kind() != SheetKind::Worksheet)
        throw Error(QStringLiteral("Only worksheets can be copied; %1 is not one").arg(Name()));
    // The source is read back with its edits first, so that the copy takes the sheet as the
    // model shows it.
    if (Writer::HasPendingEdits(src))
        Writer::Commit(src, Writer::Flush(src));
    const std::shared_ptr<const WorkbookData> from = src.SharedData();
    const SheetData& sheet = Data();
    const QString relIdBefore = before->Entry().relId;
    const QString name = UniqueSheetName(dst, Name());

    PackageEdit pkg = Writer::Flush(dst);
    const QString part = CopySheetInto(pkg, dst.Data(), *from, sheet);
    const QString relId = pkg.AddRelationship(dst.Data().workbookPart, RelType("worksheet"), part);
    WorkbookXml wx(pkg, dst.Data().workbookPart);
    pugi::xml_node added = wx.AddSheet(name, relId, wx.SheetByRel(relIdBefore));
    const int pos = wx.Position(added);
    wx.ShiftSheetIndexes(pos, true, int(dst.SheetObjects().size()) + 1);
    wx.SetActiveTab(pos);
    wx.Save();
    Writer::Commit(dst, pkg);
    dst.SheetObjects()[size_t(pos)]->Activate();
}

void Worksheet::Paste(std::optional<xl::Range> destination) {
    if (destination && destination->Parent() != this)
        throw Error(QStringLiteral("Paste: the destination lies on another sheet"));
    int32_t row = 1, col = 1;
    if (destination) {
        row = destination->Ref().row1;
        col = destination->Ref().col1;
    } else {
        const SheetView& view = View();
        for (const SelectionView& s : view.selections)
            if (s.pane == (view.hasPane ? view.pane.activePane : QStringLiteral("topLeft")) ||
                view.selections.size() == 1) {
                row = s.activeRow;
                col = s.activeCol;
            }
    }
    Workbook& book = *book_;
    if (const Clip* clip = LiveClip()) {
        const Clip copy = *clip;  // the source may be this very workbook, read back below
        PackageEdit pkg = Writer::Flush(book);
        const SheetData& from = copy.data->Sheet(size_t(copy.sheet));
        if (copy.isShape) {
            const DrawingShape* shape = nullptr;
            for (const DrawingShape& d : from.shapes)
                if (d.id == copy.shapeId)
                    shape = &d;
            if (!shape)
                throw Error(QStringLiteral("Paste: the copied shape is no longer there"));
            PasteShape(pkg, book.Data(), Data(), *copy.data, from, *shape, row, col, copy.width, copy.height);
        } else {
            PasteCells(pkg, book.Data(), Data(), *copy.data, from, copy.range, row, col);
        }
        Writer::Commit(book, pkg);
        return;
    }
    const QImage image = ClipboardImage();
    if (image.isNull())
        throw Error(QStringLiteral("Paste: the clipboard holds nothing that can be pasted (no picture)"));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw Error(QStringLiteral("Paste: the picture on the clipboard can't be stored as PNG"));
    PackageEdit pkg = Writer::Flush(book);
    PastePicture(pkg, Data(), png, image.width(), image.height(), row, col);
    Writer::Commit(book, pkg);
}

// ---- Range ----------------------------------------------------------------------------------

void Range::SetValue(const QDateTime& value) const {
    if (!sheet_)
        throw Error(QStringLiteral("The range belongs to no sheet"));
    if (!value.isValid())
        throw Error(QStringLiteral("Unable to set the value of %1: the date is not valid").arg(Address()));
    if (ref_.Cells() > 100000)
        throw Error(QStringLiteral("Too many cells to set at once: %1").arg(Address()));
    Workbook& book = *sheet_->Parent();
    PackageEdit pkg = Writer::Flush(book);
    WriteDateTime(pkg, book.Data(), sheet_->Data(), ref_, DateSerial(value, book.Data().date1904));
    Writer::Commit(book, pkg);
}

void Range::Copy() const {
    if (!sheet_)
        throw Error(QStringLiteral("The range belongs to no sheet"));
    Workbook& book = *sheet_->Parent();
    if (Writer::HasPendingEdits(book))
        Writer::Commit(book, Writer::Flush(book));
    if (ref_.Cells() > 1000000)
        throw Error(QStringLiteral("Too many cells to copy at once: %1").arg(Address()));
    Clip clip;
    clip.data = book.SharedData();
    clip.sheet = sheet_->Index() - 1;
    clip.range = ref_;
    QString text;
    for (int32_t r = ref_.row1; r <= ref_.row2 && ref_.Cells() <= 100000; ++r) {
        QStringList line;
        for (int32_t c = ref_.col1; c <= ref_.col2; ++c)
            line << sheet_->DisplayText(r, c);
        text += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    PublishClip(std::move(clip), text);
}

// ---- Shape ----------------------------------------------------------------------------------

void Shape::Copy() const {
    if (deleted_)
        throw Error(QStringLiteral("The shape %1 has been deleted").arg(Name()));
    Workbook& book = *sheet_->Parent();
    Clip clip;
    clip.width = Width();
    clip.height = Height();
    const int id = data_.id;
    if (Writer::HasPendingEdits(book))
        Writer::Commit(book, Writer::Flush(book));
    clip.data = book.SharedData();
    clip.sheet = sheet_->Index() - 1;
    clip.isShape = true;
    clip.shapeId = id;
    PublishClip(std::move(clip), QString());
}

}  // namespace xl
