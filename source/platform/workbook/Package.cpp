#include "platform/workbook/Package.h"

#include "platform/workbook/Error.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace xl {

namespace {

QString ZipErrorText(zip_error_t* err) { return QString::fromUtf8(zip_error_strerror(err)); }

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

// A deflated part with sound sizes, inflated by libdeflate (several times faster than zlib) into
// a buffer of its declared size, its checksum checked. False when that can't be done: the caller
// then inflates through libzip, which copes with sizes that lie and reports the damage.
bool InflateFast(zip_t* za, zip_int64_t index, const zip_stat_t& st, QByteArray& out) {
    const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    if ((st.valid & needed) != needed || st.comp_method != ZIP_CM_DEFLATE ||
        ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE))
        return false;
    zip_file_t* zf = zip_fopen_index(za, index, ZIP_FL_COMPRESSED);
    if (!zf)
        return false;
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> guard(zf, zip_fclose);
    QByteArray in(qsizetype(st.comp_size), Qt::Uninitialized);
    if (zip_fread(zf, in.data(), st.comp_size) != zip_int64_t(st.comp_size))
        return false;
    thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!inflater)
        return false;
    out.resize(qsizetype(st.size));
    size_t made = 0;
    if (libdeflate_deflate_decompress(inflater.get(), in.constData(), size_t(in.size()), out.data(),
                                      size_t(out.size()), &made) != LIBDEFLATE_SUCCESS ||
        made != size_t(st.size) ||
        libdeflate_crc32(0, out.constData(), size_t(out.size())) != st.crc) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace

Package Package::FromZip(const QByteArray& zipBytes, const PackageLimits& limits) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* src = zip_source_buffer_create(zipBytes.constData(), zipBytes.size(), 0, &err);
    if (!src) {
        const QString reason = ZipErrorText(&err);
        zip_error_fini(&err);
        throw Error(QStringLiteral("it is not a zip package (%1)").arg(reason));
    }
    zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &err);
    if (!za) {
        zip_source_free(src);
        const QString reason = ZipErrorText(&err);
        zip_error_fini(&err);
        throw Error(QStringLiteral("it is not a zip package (%1)").arg(reason));
    }
    zip_error_fini(&err);
    std::unique_ptr<zip_t, void (*)(zip_t*)> guard(za, [](zip_t* z) { zip_discard(z); });

    Package pkg;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    if (count < 0 || count > limits.maxEntries)
        throw Error(QStringLiteral("the package has too many entries (%1)").arg(count));
    // Refused before inflating anything when the declared sizes already pass the limits; the
    // limits are checked again while inflating, as declared sizes may lie.
    int64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, i, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            continue;
        const int64_t size = int64_t(std::min<zip_uint64_t>(st.size, zip_uint64_t(1) << 62));
        const QString why = PartRefusal(QString::fromUtf8(st.name ? st.name : ""), size,
                                        (st.valid & ZIP_STAT_COMP_SIZE) ? int64_t(st.comp_size) : 0, limits);
        if (!why.isEmpty())
            throw Error(why);
        declared += size;
        if (const QString total = TotalRefusal(declared, zipBytes.size(), limits); !total.isEmpty())
            throw Error(total);
    }
    int64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, i, 0, &st) != 0)
            throw Error(QStringLiteral("zip entry %1 can't be read").arg(i));
        ZipEntry entry;
        entry.name = QString::fromUtf8(st.name ? st.name : "");
        if (entry.name.endsWith(QLatin1Char('/'))) {
            entry.isDirectory = true;
            pkg.entries_.append(entry);
            continue;
        }
        const int64_t stored = (st.valid & ZIP_STAT_COMP_SIZE) ? int64_t(st.comp_size) : 0;
        QByteArray data;
        if (InflateFast(za, i, st, data)) {
            total += data.size();
        } else {
            zip_file_t* zf = zip_fopen_index(za, i, 0);
            if (!zf)
                throw Error(QStringLiteral("part %1 can't be opened (%2)")
                                .arg(entry.name, QString::fromUtf8(zip_strerror(za))));
            std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> fileGuard(zf, zip_fclose);
            // Inflated straight into a buffer of the declared size; more bytes than declared are
            // read on, still under the limits.
            qsizetype used = 0;
            data.resize((st.valid & ZIP_STAT_SIZE) ? qsizetype(st.size) + 1 : qsizetype(1) << 16);
            for (;;) {
                if (used == data.size())
                    data.resize(std::min<qsizetype>(data.size() * 2, qsizetype(limits.maxPartBytes) + 1));
                const zip_int64_t n = zip_fread(zf, data.data() + used, zip_uint64_t(data.size() - used));
                if (n < 0)
                    throw Error(QStringLiteral("part %1 is damaged (%2)")
                                    .arg(entry.name, QString::fromUtf8(zip_file_strerror(zf))));
                if (n == 0)
                    break;
                used += qsizetype(n);
                total += n;
                if (const QString why = PartRefusal(entry.name, used, stored, limits); !why.isEmpty())
                    throw Error(why);
                if (const QString why = TotalRefusal(total, zipBytes.size(), limits); !why.isEmpty())
                    throw Error(why);
            }
            data.truncate(used);
        }
        if (const QString why = TotalRefusal(total, zipBytes.size(), limits); !why.isEmpty())
            throw Error(why);
        entry.data = std::move(data);
        pkg.index_.insert(entry.name, int(pkg.entries_.size()));
        pkg.entries_.append(std::move(entry));
    }

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

const QByteArray& Package::Part(const QString& partName) const {
    static const QByteArray empty;
    auto it = index_.constFind(partName);
    return it == index_.constEnd() ? empty : entries_[*it].data;
}

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

int64_t TreeBytes(const char* data, size_t size) {
    // Per tag: an element node, or the text node beside it; per attribute: its own node.
    constexpr int64_t kNodeBytes = 64, kAttributeBytes = 40;
    int64_t tags = 0, attributes = 0;
    const char* end = data + size;
    for (const char* p = data; p < end; ++p) {
        tags += *p == '<';
        attributes += *p == '=';
    }
    return int64_t(size) + tags * kNodeBytes + attributes * kAttributeBytes;
}

void CheckTreeBytes(const char* data, size_t size, const QString& what) {
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
