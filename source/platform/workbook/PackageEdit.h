#pragma once
// A package being changed by the writer: its parts in zip order, with the content types and
// relationships edited as parts come and go. Parts that no edit touches stay in the package
// they were read from, uninflated, and are written as they are stored there.

#include "platform/workbook/Package.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <pugixml.hpp>

namespace xl {

class PackageEdit {
public:
    PackageEdit() = default;
    // Every part of `source`, unchanged.
    explicit PackageEdit(const Package& source);
    // The given entries (none from a package read).
    explicit PackageEdit(const QList<ZipEntry>& entries);

    const QList<ZipEntry>& Entries() const { return entries_; }
    // The package the unchanged parts are copied from.
    const Package& Source() const { return source_; }
    [[nodiscard]] bool Has(const QString& part) const { return index_.contains(part); }
    // A part's bytes, inflated from the source when unchanged (xl::Error when they are damaged
    // there).
    QByteArray Get(const QString& part) const;
    void Set(const QString& part, const QByteArray& bytes);
    void Remove(const QString& part);

    // The first "<prefix><n><suffix>" (n from 1) that is no part yet.
    QString FreeName(const QString& prefix, const QString& suffix) const;

    // [Content_Types].xml
    QString ContentType(const QString& part) const;
    void SetOverride(const QString& part, const QString& type);
    void RemoveOverride(const QString& part);
    void EnsureDefault(const QString& extension, const QString& type);

    // Relationships of `source` ("" for the package's own): a new one with a free id,
    // returning the id; the target is given as a part name and written relative to `source`.
    QString AddRelationship(const QString& source, const QString& type, const QString& targetPart);
    void RemoveRelationship(const QString& source, const QString& id);
    QList<Relationship> Relationships(const QString& source) const;

    // Removes the media parts (xl/media/...) that no relationship of the package targets any
    // more, such as the image of a deleted picture. Nothing is removed when a relationship
    // part can't be read, since an unread one might still refer to any of them.
    void DropUnreferencedMedia();

private:
    void EditXml(const QString& part, const std::function<void(pugi::xml_document&)>& fn,
                 const char* emptyDocument);

    void Reindex();

    Package source_;
    QList<ZipEntry> entries_;
    QHash<QString, int> index_;
};

// ---- XML helpers of the writer ----

// Parses a part keeping every text node as it is (a cell text of one blank must survive).
void LoadPart(pugi::xml_document& doc, const QByteArray& bytes, const QString& partName);
// The document as bytes, without reformatting it.
QByteArray SavePart(const pugi::xml_document& doc);
// "x:" of "x:row", "" of "row": new elements take their parent's prefix.
QString PrefixOf(const pugi::xml_node& n);
pugi::xml_node AppendChildLike(pugi::xml_node parent, const char* local);
// Inserts a child of `parent` where the schema's order of element names puts it.
pugi::xml_node InsertInOrder(pugi::xml_node parent, const char* local,
                             const std::vector<const char*>& order);
// A relationship target written relative to the folder of `sourcePart`.
QString RelativeTarget(const QString& sourcePart, const QString& targetPart);

inline constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const char* kRelTypeBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

}  // namespace xl
