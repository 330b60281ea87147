#pragma once
// The .xlsx package: the zip as stored (in memory, or a file read by offset), its entries in the
// zip's order, with the content types and the relationships read from it. A part is read and
// inflated when it is asked for, and kept by nobody here: the reader parses it and lets it go.
// The writer copies every part it does not change as it is stored, without inflating it.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <pugixml.hpp>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace xl {

// What a package may inflate to. A zip bomb is told by its ratio: no spreadsheet's part inflates
// to more than maxRatio times its stored size (deflated XML stays far below), so one that does
// (past ratioFloorBytes, below which the size does no harm) is refused as a bomb, and so is a
// package whose parts together inflate to more than maxRatio times the whole file. A real
// package can still be too large to hold: past maxPartBytes for one part or maxTotalBytes for
// all, it is refused as too large.
struct PackageLimits {
    int64_t maxRatio = 200;
    int64_t ratioFloorBytes = int64_t(16) << 20;
    int64_t maxPartBytes = int64_t(1) << 30;
    int64_t maxTotalBytes = int64_t(2) << 30;
    int64_t maxEntries = 20000;
};

// A part's relationships: one for each other part it may name, and a sheet's hyperlinks, of
// which the spreadsheet allows 65,530.
constexpr int64_t kMaxRelationships = PackageLimits{}.maxEntries + 65530;

// A parsed XML tree costs tens of bytes for every element and attribute, however few bytes
// they take in the file, so a part is measured before it is parsed: no tree may need more than
// this, whatever the part.
constexpr int64_t kMaxTreeBytes = int64_t(128) << 20;

struct Relationship {
    QString id;
    QString type;     // the full relationship type URI
    QString target;   // resolved to a part name ("xl/worksheets/sheet1.xml"), or as written
                      // when external
    bool external = false;

    // The last element of the type URI: "worksheet", "drawing", "chart", "image"...
    QString Kind() const { return type.mid(type.lastIndexOf(QLatin1Char('/')) + 1); }
};

class EntryReader;
class ZipSource;
struct StoredEntry;

// An entry of a package: in a package read, `source` is its place in the zip; in a package
// being written, `data` holds the bytes of a part given or changed, and `source` (-1 then)
// names the entry of the package read that is copied as it is stored.
struct ZipEntry {
    QString name;
    QByteArray data;
    bool isDirectory = false;
    int source = -1;
};

class Package {
public:
    // Reads the directory of a zip held in memory, and the content types. Throws xl::Error
    // (with only the reason as message; the workbook reader puts the path in front) on
    // anything that is not a readable zip, or whose parts would inflate past the limits.
    static Package FromZip(const QByteArray& zipBytes, const PackageLimits& limits = {});
    // The same for a zip file, which is kept open and read by offset as its parts are asked
    // for; only its directory is read now.
    static Package FromFile(const QString& path, const PackageLimits& limits = {});
    static Package FromSource(std::shared_ptr<const ZipSource> source, const PackageLimits& limits);

    // Every entry, in the zip's order; their bytes are read through Part.
    const QList<ZipEntry>& Entries() const { return entries_; }
    [[nodiscard]] bool Has(const QString& partName) const { return index_.contains(partName); }
    // The bytes of a part, inflated now; empty when absent. Throws xl::Error "part <name> is
    // damaged (...)" when its stored bytes do not inflate to what the zip declares.
    QByteArray Part(const QString& partName) const;
    // The same for the entry at `index` of Entries().
    QByteArray EntryBytes(int index) const;
    // A part's bytes a piece at a time (see EntryReader); an absent part reads as empty.
    EntryReader PartReader(const QString& partName) const;
    // The size a part inflates to, as the zip declares it (and as reading it holds it to);
    // 0 when absent.
    int64_t PartSize(const QString& partName) const;
    // The zip the package was read from, every byte (read now from a file), and how its
    // entries are stored there, for copying them as they are.
    QByteArray ZipBytes() const;
    const StoredEntry& Stored(int index) const;

    // [Content_Types].xml: the type of a part by override, else by its extension's default.
    QString ContentType(const QString& partName) const;
    // The relationships of a part (from its _rels/<name>.rels); none when it has none.
    // Targets are resolved against the part's folder.
    QList<Relationship> Relationships(const QString& partName) const;
    static QString RelsPartName(const QString& partName);

private:
    // Shared by the copies of a package (the writer's edits hold one each); never changed.
    struct Zip;
    std::shared_ptr<const Zip> zip_;
    QList<ZipEntry> entries_;
    QHash<QString, int> index_;  // no name is stored twice: such a zip is refused
    QHash<QString, QString> defaults_;   // extension (lower case) -> content type
    QHash<QString, QString> overrides_;  // part name without leading "/" -> content type
};

// XML helpers shared by the part readers. Producers may prefix elements ("x:c") or not, so
// elements are matched by their local name.
const char* LocalName(const char* qualified);
[[nodiscard]] inline bool Is(const pugi::xml_node& n, const char* local) {
    return std::strcmp(LocalName(n.name()), local) == 0;
}
pugi::xml_node Child(const pugi::xml_node& n, const char* local);
// The attribute named `local` with any prefix ("r:id" for "id" with prefixed=true).
pugi::xml_attribute Attr(const pugi::xml_node& n, const char* local, bool prefixed = false);
QString AttrText(const pugi::xml_node& n, const char* local);
// Parses a part; throws xl::Error "part <name> is not well-formed XML (...)", or, before
// parsing, "part <name> would take ... of memory to read" when its tree would pass
// kMaxTreeBytes.
void LoadXml(pugi::xml_document& doc, const QByteArray& bytes, const QString& partName,
             unsigned options = pugi::parse_default);
// What the tree of `size` bytes of XML would cost at most: the bytes themselves, and a node for
// every tag and every attribute.
int64_t TreeBytes(const char* data, size_t size);
// Throws the refusal of LoadXml when TreeBytes passes kMaxTreeBytes; `what` names the text
// ("part xl/styles.xml", "the rows of sheet Data from row 12").
void CheckTreeBytes(const char* data, size_t size, const QString& what);
// How many elements of this local name the XML holds (start tags, any prefix): counted without
// parsing, to refuse a list too long before its tree is built.
int64_t CountElements(const QByteArray& xml, const char* local);
// Resolves a relative target against the folder of `sourcePart`: "../media/a.png" from
// "xl/drawings/drawing1.xml" gives "xl/media/a.png".
QString ResolveTarget(const QString& sourcePart, const QString& target);

}  // namespace xl
