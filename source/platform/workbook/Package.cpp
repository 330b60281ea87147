#include "platform/workbook/Package.h"

#include "platform/workbook/Error.h"

#include "platform/workbook/ZipArchive.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace xl {

namespace {

// Why a part that inflates to `inflated` bytes from `stored` is refused; "" when it is not.
QString PartRefusal(const QString& name, int64_t inflated, int64_t stored, const PackageLimits& limits) {
    if (inflated > limits.ratioFloorBytes && inflated / std::max<int64_t>(stored, 1) >= limits.maxRatio)
        return QStringLiteral("part %1 inflates to more than %2 times its stored size, as no spreadsheet's part "
                              "does (a zip bomb)")
            .arg(name)
            .arg(limits.maxRatio);
    if (inflated > limits.maxPartBytes)
        return QStringLiteral("part %1 is too large: it inflates to more than %2 MB")
            .arg(name)
            .arg(limits.maxPartBytes >> 20);
    return QString();
}

QString TotalRefusal(int64_t inflated, int64_t fileBytes, const PackageLimits& limits) {
    if (inflated > limits.ratioFloorBytes && inflated / std::max<int64_t>(fileBytes, 1) >= limits.maxRatio)
        return QStringLiteral("the package inflates to more than %1 times its size (a zip bomb)").arg(limits.maxRatio);
    if (inflated > limits.maxTotalBytes)
        return QStringLiteral("the package is too large: it inflates to more than %1 MB")
            .arg(limits.maxTotalBytes >> 20);
    return QString();
}

}  // namespace

struct Package::Zip {
    std::shared_ptr<const ZipSource> source;
    std::vector<StoredEntry> entries;
};

Package Package::FromZip(const QByteArray& zipBytes, const PackageLimits& limits) {
    return FromSource(ZipSource::InMemory(zipBytes), limits);
}

Package Package::FromFile(const QString& path, const PackageLimits& limits) {
    return FromSource(ZipSource::OfFile(path), limits);
}

Package Package::FromSource(std::shared_ptr<const ZipSource> source, const PackageLimits& limits) {
    auto zip = std::make_shared<Zip>();
    zip->source = std::move(source);
    zip->entries = ReadZipDirectory(*zip->source, limits.maxEntries);
    // The sizes the directory declares are the sizes reading holds every part to, so the limits
    // are kept before anything is inflated.
    int64_t declared = 0;
    // Part names are compared without regard to case in a package: two entries of one name
    // are read as either by different programs, so what one shows is not what another does.
    QHash<QString, QString> names;
    for (const StoredEntry& e : zip->entries) {
        if (const QString why = PartRefusal(e.name, e.size, e.storedSize, limits); !why.isEmpty())
            throw Error(why);
        declared += e.size;
        if (const QString total = TotalRefusal(declared, zip->source->Size(), limits); !total.isEmpty())
            throw Error(total);
        const QString key = e.name.toLower();
        if (auto it = names.constFind(key); it != names.constEnd())
            throw Error(QStringLiteral("it holds two entries named %1%2 (programs differ on which one "
                                       "counts)")
                            .arg(*it, *it == e.name ? QString() : QStringLiteral(" and ") + e.name));
        names.insert(key, e.name);
    }
    Package pkg;
    pkg.entries_.reserve(qsizetype(zip->entries.size()));
    for (const StoredEntry& e : zip->entries) {
        if (!e.isDirectory)
            pkg.index_.insert(e.name, int(pkg.entries_.size()));
        pkg.entries_.append(ZipEntry{e.name, QByteArray(), e.isDirectory, e.index});
    }
    pkg.zip_ = std::move(zip);

    const QString ctName = QStringLiteral("[Content_Types].xml");
    if (pkg.Has(ctName)) {
        pugi::xml_document doc;
        LoadXml(doc, pkg.Part(ctName), ctName);
        for (pugi::xml_node n : doc.document_element().children()) {
            if (Is(n, "Default"))
                pkg.defaults_.insert(AttrText(n, "Extension").toLower(), AttrText(n, "ContentType"));
            else if (Is(n, "Override")) {
                QString part = AttrText(n, "PartName");
                if (part.startsWith(QLatin1Char('/')))
                    part.remove(0, 1);
                pkg.overrides_.insert(part, AttrText(n, "ContentType"));
            }
        }
    }
    return pkg;
}

QByteArray Package::Part(const QString& partName) const {
    auto it = index_.constFind(partName);
    return it == index_.constEnd() ? QByteArray() : EntryBytes(*it);
}

QByteArray Package::EntryBytes(int index) const {
    return InflateEntry(*zip_->source, zip_->entries[size_t(entries_[index].source)]);
}

EntryReader Package::PartReader(const QString& partName) const {
    auto it = index_.constFind(partName);
    if (it == index_.constEnd())
        return EntryReader();
    return EntryReader(zip_->source, zip_->entries[size_t(entries_[*it].source)]);
}

int64_t Package::PartSize(const QString& partName) const {
    auto it = index_.constFind(partName);
    return it == index_.constEnd() ? 0 : zip_->entries[size_t(entries_[*it].source)].size;
}

QByteArray Package::ZipBytes() const { return zip_ ? zip_->source->All() : QByteArray(); }

const StoredEntry& Package::Stored(int index) const { return zip_->entries[size_t(index)]; }

QString Package::ContentType(const QString& partName) const {
    auto it = overrides_.constFind(partName);
    if (it != overrides_.constEnd())
        return *it;
    const qsizetype dot = partName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : defaults_.value(partName.mid(dot + 1).toLower());
}

QString Package::RelsPartName(const QString& partName) {
    const qsizetype slash = partName.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : partName.left(slash + 1);
    return folder + QStringLiteral("_rels/") + partName.mid(slash + 1) + QStringLiteral(".rels");
}

QList<Relationship> Package::Relationships(const QString& partName) const {
    QList<Relationship> out;
    const QString relsName = RelsPartName(partName);
    if (!Has(relsName))
        return out;
    pugi::xml_document doc;
    LoadXml(doc, Part(relsName), relsName);
    for (pugi::xml_node n : doc.document_element().children()) {
        if (!Is(n, "Relationship"))
            continue;
        if (out.size() >= kMaxRelationships)
            throw Error(QStringLiteral("part %1 has more than %2 relationships")
                            .arg(relsName)
                            .arg(kMaxRelationships));
        Relationship rel;
        rel.id = AttrText(n, "Id");
        rel.type = AttrText(n, "Type");
        rel.external = AttrText(n, "TargetMode").compare(QLatin1String("External"),
                                                          Qt::CaseInsensitive) == 0;
        const QString target = AttrText(n, "Target");
        rel.target = rel.external ? target : ResolveTarget(partName, target);
        out.append(rel);
    }
    return out;
}

const char* LocalName(const char* qualified) {
    const char* colon = std::strchr(qualified, ':');
    return colon ? colon + 1 : qualified;
}

pugi::xml_node Child(const pugi::xml_node& n, const char* local) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && Is(c, local))
            return c;
    return {};
}

pugi::xml_attribute Attr(const pugi::xml_node& n, const char* local, bool prefixed) {
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        const char* colon = std::strchr(name, ':');
        if (prefixed != (colon != nullptr))
            continue;
        if (std::strcmp(colon ? colon + 1 : name, local) == 0)
            return a;
    }
    return {};
}

QString AttrText(const pugi::xml_node& n, const char* local) {
    return QString::fromUtf8(n.attribute(local).value());
}

// Per tag: an element node, or the text node beside it; per attribute: its own node.
constexpr int64_t kNodeBytes = 64, kAttributeBytes = 40;
static_assert(kAttributeBytes <= kNodeBytes);

int64_t TreeBytes(const char* data, size_t size) {
    int64_t tags = 0, attributes = 0;
    const char* end = data + size;
    for (const char* p = data; p < end; ++p) {
        tags += *p == '<';
        attributes += *p == '=';
    }
    return int64_t(size) + tags * kNodeBytes + attributes * kAttributeBytes;
}

void CheckTreeBytes(const char* data, size_t size, const QString& what) {
    // Text too short to pass the cap even were every byte a tag is not counted: the slices of
    // a large sheet are, every one of them.
    if (int64_t(size) * (1 + kNodeBytes) <= kMaxTreeBytes)
        return;
    const int64_t bytes = TreeBytes(data, size);
    if (bytes > kMaxTreeBytes)
        throw Error(QStringLiteral("%1 would take %2 MB of memory to read, more than the %3 MB "
                                   "any part of a workbook may")
                        .arg(what)
                        .arg(bytes >> 20)
                        .arg(kMaxTreeBytes >> 20));
}

int64_t CountElements(const QByteArray& xml, const char* local) {
    const size_t length = std::strlen(local);
    int64_t count = 0;
    const char* p = xml.constData();
    const char* end = p + xml.size();
    while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr) {
        ++p;
        const char* name = p;
        while (p < end && *p != '>' && *p != '/' && *p != ' ' && *p != '\t' && *p != '\r' &&
               *p != '\n' && *p != '<') {
            if (*p == ':')
                name = p + 1;
            ++p;
        }
        if (name < p && size_t(p - name) == length && std::memcmp(name, local, length) == 0 &&
            name[-1] != '/' && name[-1] != '?' && name[-1] != '!')
            ++count;
    }
    return count;
}

void LoadXml(pugi::xml_document& doc, const QByteArray& bytes, const QString& partName,
             unsigned options) {
    CheckTreeBytes(bytes.constData(), size_t(bytes.size()), QStringLiteral("part ") + partName);
    const pugi::xml_parse_result res =
        doc.load_buffer(bytes.constData(), size_t(bytes.size()), options, pugi::encoding_auto);
    if (!res)
        throw Error(QStringLiteral("part %1 is not well-formed XML (%2 at byte %3)")
                        .arg(partName, QString::fromUtf8(res.description()))
                        .arg(res.offset));
    if (!doc.document_element())
        throw Error(QStringLiteral("part %1 holds no XML element").arg(partName));
}

QString ResolveTarget(const QString& sourcePart, const QString& target) {
    QString path;
    if (target.startsWith(QLatin1Char('/'))) {
        path = target.mid(1);
    } else {
        const qsizetype slash = sourcePart.lastIndexOf(QLatin1Char('/'));
        path = (slash < 0 ? QString() : sourcePart.left(slash + 1)) + target;
    }
    QStringList out;
    for (const QString& seg : path.split(QLatin1Char('/'))) {
        if (seg.isEmpty() || seg == QLatin1String("."))
            continue;
        if (seg == QLatin1String("..")) {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        out.append(seg);
    }
    return out.join(QLatin1Char('/'));
}

}  // namespace xl
