#include "platform/workbook/PackageEdit.h"

#include "platform/workbook/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <sstream>

namespace xl {

namespace {

const QString kContentTypes = QStringLiteral("[Content_Types].xml");

const char* kEmptyTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"></Types>";
const char* kEmptyRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "</Relationships>";

}  // namespace

PackageEdit::PackageEdit(const Package& source) : source_(source), entries_(source.Entries()) {
    // A name stored twice is written once, with the bytes reading gives it: the later entry's.
    QHash<QString, int> last;
    for (int i = 0; i < entries_.size(); ++i)
        last.insert(entries_[i].name, i);
    QList<ZipEntry> unique;
    for (int i = 0; i < entries_.size(); ++i)
        if (last.value(entries_[i].name) == i)
            unique.append(entries_[i]);
    entries_ = std::move(unique);
    Reindex();
}

PackageEdit::PackageEdit(const QList<ZipEntry>& entries) : entries_(entries) {
    for (ZipEntry& e : entries_)
        e.source = -1;
    Reindex();
}

void PackageEdit::Reindex() {
    index_.clear();
    for (int i = 0; i < entries_.size(); ++i)
        index_.insert(entries_[i].name, i);
}

QByteArray PackageEdit::Get(const QString& part) const {
    auto it = index_.find(part);
    if (it == index_.end())
        return QByteArray();
    const ZipEntry& e = entries_[*it];
    return e.source >= 0 ? source_.EntryBytes(e.source) : e.data;
}

void PackageEdit::Set(const QString& part, const QByteArray& bytes) {
    auto it = index_.find(part);
    if (it != index_.end()) {
        entries_[*it].data = bytes;
        entries_[*it].source = -1;
        return;
    }
    index_.insert(part, int(entries_.size()));
    entries_.append(ZipEntry{part, bytes, false, -1});
}

void PackageEdit::Remove(const QString& part) {
    auto it = index_.find(part);
    if (it == index_.end())
        return;
    entries_.removeAt(*it);
    Reindex();
}

QString PackageEdit::FreeName(const QString& prefix, const QString& suffix) const {
    for (int n = 1;; ++n) {
        const QString name = prefix + QString::number(n) + suffix;
        bool taken = Has(name);
        // Part names compare without regard to case in a package.
        for (const ZipEntry& e : entries_)
            taken = taken || e.name.compare(name, Qt::CaseInsensitive) == 0;
        if (!taken)
            return name;
    }
}

void PackageEdit::EditXml(const QString& part, const std::function<void(pugi::xml_document&)>& fn,
                          const char* emptyDocument) {
    pugi::xml_document doc;
    const QByteArray bytes = Get(part);
    LoadPart(doc, bytes.isEmpty() ? QByteArray(emptyDocument) : bytes, part);
    fn(doc);
    Set(part, SavePart(doc));
}

QString PackageEdit::ContentType(const QString& part) const {
    pugi::xml_document doc;
    LoadPart(doc, Get(kContentTypes), kContentTypes);
    const QByteArray want = ("/" + part).toUtf8();
    const QString ext = QFileInfo(part).suffix().toLower();
    QString byDefault;
    for (pugi::xml_node n : doc.document_element().children()) {
        if (Is(n, "Override") && QByteArray(n.attribute("PartName").value()).compare(want, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(n.attribute("ContentType").value());
        if (Is(n, "Default") && QString::fromUtf8(n.attribute("Extension").value()).toLower() == ext)
            byDefault = QString::fromUtf8(n.attribute("ContentType").value());
    }
    return byDefault;
}

void PackageEdit::SetOverride(const QString& part, const QString& type) {
    EditXml(kContentTypes, [&](pugi::xml_document& doc) {
        const QByteArray name = ("/" + part).toUtf8();
        pugi::xml_node root = doc.document_element();
        for (pugi::xml_node n : root.children())
            if (Is(n, "Override") && name == n.attribute("PartName").value()) {
                n.attribute("ContentType").set_value(type.toUtf8().constData());
                return;
            }
        pugi::xml_node o = AppendChildLike(root, "Override");
        o.append_attribute("PartName") = name.constData();
        o.append_attribute("ContentType") = type.toUtf8().constData();
    }, kEmptyTypes);
}

void PackageEdit::RemoveOverride(const QString& part) {
    if (!Has(kContentTypes))
        return;
    EditXml(kContentTypes, [&](pugi::xml_document& doc) {
        const QByteArray name = ("/" + part).toUtf8();
        pugi::xml_node root = doc.document_element();
        for (pugi::xml_node n = root.first_child(); n;) {
            pugi::xml_node next = n.next_sibling();
            if (Is(n, "Override") && name == n.attribute("PartName").value())
                root.remove_child(n);
            n = next;
        }
    }, kEmptyTypes);
}

void PackageEdit::EnsureDefault(const QString& extension, const QString& type) {
    EditXml(kContentTypes, [&](pugi::xml_document& doc) {
        pugi::xml_node root = doc.document_element();
        for (pugi::xml_node n : root.children())
            if (Is(n, "Default") &&
                QString::fromUtf8(n.attribute("Extension").value()).compare(extension, Qt::CaseInsensitive) == 0)
                return;
        // Defaults come before overrides in the files spreadsheets write.
        pugi::xml_node first = root.first_child();
        while (first && first.type() != pugi::node_element)
            first = first.next_sibling();
        const QString name = PrefixOf(root) + QStringLiteral("Default");
        pugi::xml_node d = first ? root.insert_child_before(name.toUtf8().constData(), first)
                                 : root.append_child(name.toUtf8().constData());
        d.append_attribute("Extension") = extension.toUtf8().constData();
        d.append_attribute("ContentType") = type.toUtf8().constData();
    }, kEmptyTypes);
}

QList<Relationship> PackageEdit::Relationships(const QString& source) const {
    QList<Relationship> out;
    const QString relsName = Package::RelsPartName(source);
    if (!Has(relsName))
        return out;
    pugi::xml_document doc;
    LoadPart(doc, Get(relsName), relsName);
    for (pugi::xml_node n : doc.document_element().children()) {
        if (!Is(n, "Relationship"))
            continue;
        Relationship r;
        r.id = QString::fromUtf8(n.attribute("Id").value());
        r.type = QString::fromUtf8(n.attribute("Type").value());
        r.external = QString::fromUtf8(n.attribute("TargetMode").value()) == QLatin1String("External");
        const QString target = QString::fromUtf8(n.attribute("Target").value());
        r.target = r.external ? target : ResolveTarget(source, target);
        out.append(r);
    }
    return out;
}

void PackageEdit::DropUnreferencedMedia() {
    static const QString kMedia = QStringLiteral("xl/media/");
    static const QString kRels = QStringLiteral("_rels/");
    QSet<QString> used;
    try {
        for (const ZipEntry& e : entries_) {
            if (e.isDirectory || !e.name.endsWith(QLatin1String(".rels"), Qt::CaseInsensitive))
                continue;
            // "<folder>/_rels/<name>.rels" holds the relationships of "<folder>/<name>".
            const qsizetype at = e.name.lastIndexOf(kRels);
            if (at < 0)
                continue;
            const QString source = e.name.left(at) + e.name.mid(at + kRels.size()).chopped(5);
            for (const Relationship& r : Relationships(source))
                if (!r.external)
                    used.insert(r.target.toLower());
        }
    } catch (const std::exception&) {
        return;
    }
    QStringList orphans;
    for (const ZipEntry& e : entries_)
        if (!e.isDirectory && e.name.startsWith(kMedia, Qt::CaseInsensitive) &&
            !used.contains(e.name.toLower()))
            orphans << e.name;
    for (const QString& part : orphans) {
        Remove(part);
        RemoveOverride(part);
    }
}

QString PackageEdit::AddRelationship(const QString& source, const QString& type, const QString& targetPart) {
    QString id;
    EditXml(Package::RelsPartName(source), [&](pugi::xml_document& doc) {
        pugi::xml_node root = doc.document_element();
        QSet<QString> taken;
        for (pugi::xml_node n : root.children())
            taken.insert(QString::fromUtf8(n.attribute("Id").value()));
        int k = 1;
        while (taken.contains(QStringLiteral("rId%1").arg(k)))
            ++k;
        id = QStringLiteral("rId%1").arg(k);
        pugi::xml_node r = AppendChildLike(root, "Relationship");
        r.append_attribute("Id") = id.toUtf8().constData();
        r.append_attribute("Type") = type.toUtf8().constData();
        r.append_attribute("Target") = RelativeTarget(source, targetPart).toUtf8().constData();
    }, kEmptyRels);
    return id;
}

void PackageEdit::RemoveRelationship(const QString& source, const QString& id) {
    const QString relsName = Package::RelsPartName(source);
    if (!Has(relsName))
        return;
    EditXml(relsName, [&](pugi::xml_document& doc) {
        pugi::xml_node root = doc.document_element();
        for (pugi::xml_node n = root.first_child(); n;) {
            pugi::xml_node next = n.next_sibling();
            if (Is(n, "Relationship") && id == QString::fromUtf8(n.attribute("Id").value()))
                root.remove_child(n);
            n = next;
        }
    }, kEmptyRels);
}

// ---- XML helpers ----------------------------------------------------------------------------

void LoadPart(pugi::xml_document& doc, const QByteArray& bytes, const QString& partName) {
    LoadXml(doc, bytes, partName, pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata);
}

QByteArray SavePart(const pugi::xml_document& doc) {
    std::ostringstream out;
    unsigned flags = pugi::format_raw;
    if (!doc.first_child() || doc.first_child().type() != pugi::node_declaration)
        flags |= pugi::format_no_declaration;
    doc.save(out, "", flags, pugi::encoding_utf8);
    const std::string s = out.str();
    return QByteArray(s.data(), qsizetype(s.size()));
}

QString PrefixOf(const pugi::xml_node& n) {
    const QString name = QString::fromUtf8(n.name());
    const int colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : name.left(colon + 1);
}

pugi::xml_node AppendChildLike(pugi::xml_node parent, const char* local) {
    return parent.append_child((PrefixOf(parent) + QString::fromUtf8(local)).toUtf8().constData());
}

pugi::xml_node InsertInOrder(pugi::xml_node parent, const char* local,
                             const std::vector<const char*>& order) {
    auto rank = [&](const char* name) {
        for (size_t i = 0; i < order.size(); ++i)
            if (std::strcmp(order[i], name) == 0)
                return int(i);
        return int(order.size());
    };
    const int mine = rank(local);
    const QByteArray name = (PrefixOf(parent) + QString::fromUtf8(local)).toUtf8();
    for (pugi::xml_node n : parent.children())
        if (n.type() == pugi::node_element && rank(LocalName(n.name())) > mine)
            return parent.insert_child_before(name.constData(), n);
    return parent.append_child(name.constData());
}

QString RelativeTarget(const QString& sourcePart, const QString& targetPart) {
    const QString folder = QFileInfo(QStringLiteral("/") + sourcePart).path();
    return QDir(folder).relativeFilePath(QStringLiteral("/") + targetPart);
}

}  // namespace xl
