// Reading a workbook's package only as far as it is used: a part is inflated when it is asked
// for, and a save copies the parts nothing changed as they are stored.

#include "WorkbookFixtures.h"
#include "WriterFixtures.h"

#include "../../fuzz/SyntheticPackage.h"

#include "platform/workbook/Workbook.h"

#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

#include <map>
#include <random>

using namespace xl;

namespace {

struct Part {
    QByteArray name, bytes;
    bool stored = false;  // kept as it is rather than deflated
};

// A zip written by libzip, each part deflated or stored as asked.
QByteArray ZipOf(const std::vector<Part>& parts) {
    QList<QPair<const char*, QByteArray>> list;
    QList<QByteArray> stored;
    for (const Part& p : parts) {
        list.append({p.name.constData(), p.bytes});
        if (p.stored)
            stored.append(p.name);
    }
    return fuzzing::ZipOf(list, true, stored);
}

struct StoredPart {
    QByteArray bytes;  // as stored: deflated or not
    int method = -1;
    bool operator==(const StoredPart& o) const { return bytes == o.bytes && method == o.method; }
};

// Every entry of a zip file as it is stored there, read by libzip.
std::map<QString, StoredPart> StoredParts(const QString& path) {
    std::map<QString, StoredPart> out;
    int error = 0;
    zip_t* za = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!za) {
        ADD_FAILURE() << "libzip can't open " << path.toStdString();
        return out;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(za, zip_uint64_t(i), 0, &st);
        StoredPart part;
        part.method = st.comp_method;
        part.bytes.resize(qsizetype(st.comp_size));
        zip_file_t* f = zip_fopen_index(za, zip_uint64_t(i), ZIP_FL_COMPRESSED);
        if (f) {
            zip_fread(f, part.bytes.data(), st.comp_size);
            zip_fclose(f);
        }
        out[QString::fromUtf8(st.name)] = part;
    }
    zip_discard(za);
    return out;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QString Refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const Error& e) {
        return e.Message();
    }
    return QString();
}

}  // namespace

// An edited workbook saved: the parts no edit touched are in the new file exactly as they were
// stored in the old one (deflated bytes, method), without being inflated at all: a part whose
// deflated bytes are damaged goes across as it is, and a stored one stays stored.
TEST(LazyReading, ASaveCopiesTheUntouchedPartsAsTheyAreStored) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    std::vector<Part> parts;
    for (const auto& [name, bytes] : writerfx::Parts(writerfx::Dir() + QStringLiteral("/book.xlsx")))
        parts.push_back({name.toUtf8(), bytes});
    QByteArray custom;
    std::mt19937 rnd(3);
    while (custom.size() < 20000)
        custom += "<p n=\"" + QByteArray::number(rnd()) + "\"/>";
    parts.push_back({"customXml/item1.xml", "<root>" + custom + "</root>", true});
    parts.push_back({"docProps/custom.xml", "<Properties>" + custom + "</Properties>"});
    QByteArray zip = ZipOf(parts);
    // The deflated bytes of docProps/custom.xml, damaged in their middle: they follow the
    // local header (30 bytes), the name and the header's extra fields.
    const qsizetype header = zip.indexOf("docProps/custom.xml") - 30;
    ASSERT_TRUE(zip.mid(header, 4) == QByteArray("PK\x03\x04"));
    const qsizetype deflated = header + 30 + 19 + (uint8_t(zip[header + 28]) | uint8_t(zip[header + 29]) << 8);
    zip[deflated + 2000] = char(zip[deflated + 2000] ^ 0x55);
    const QString path = tmp.filePath(QStringLiteral("book.xlsx"));
    Write(path, zip);
    const auto before = StoredParts(path);
    ASSERT_EQ(before.at(QStringLiteral("customXml/item1.xml")).method, ZIP_CM_STORE);

    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    wb->Sheets().Item(QStringLiteral("Data"))->Range(QStringLiteral("B2")).SetValue(CellValue::Number(99));
    const QString saved = tmp.filePath(QStringLiteral("saved.xlsx"));
    wb->SaveAs(saved);

    const auto after = StoredParts(saved);
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [name, part] : before) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(after.count(name));
        if (name == QLatin1String("xl/worksheets/sheet1.xml"))
            EXPECT_FALSE(after.at(name) == part);  // the one part the edit changed
        else
            EXPECT_TRUE(after.at(name) == part);
    }
    // The damaged part was never inflated, by the save or by the reading of the workbook; it
    // is damaged in the copy as in the original, and told so when it is read.
    const QString damaged = Refusal([&] { Package::FromZip(writerfx::ReadAll(saved)).Part("docProps/custom.xml"); });
    EXPECT_TRUE(damaged.contains(QStringLiteral("part docProps/custom.xml is damaged"))) << damaged.toStdString();

    Application again;
    Worksheet* data = again.Workbooks().Open(saved)->Sheets().Item(QStringLiteral("Data"));
    EXPECT_EQ(data->Range(QStringLiteral("B2")).Value(), CellValue::Number(99));
    EXPECT_EQ(data->Range(QStringLiteral("A2")).Value(), CellValue::Text(QStringLiteral("North")));
    EXPECT_EQ(data->ChartObjects().Count(), 1);
}

// A zip whose sizes and offsets are in zip64 fields, its central directory found through the
// zip64 end record (Python's zipfile wrote it), is read, and saved as it is stored.
TEST(LazyReading, AZip64PackageIsReadAndSaved) {
    const QString path = fixtures::Bad(QStringLiteral("zip64.xlsx"));
    ASSERT_FIXTURE(path);
    QTemporaryDir tmp;
    const QString saved = tmp.filePath(QStringLiteral("saved.xlsx"));
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        Worksheet* ws = wb->Sheets().Item(QStringLiteral("Sheet1"));
        EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value(), CellValue::Text(QStringLiteral("hello")));
        EXPECT_EQ(ws->Range(QStringLiteral("B1")).Value(), CellValue::Number(1.5));
        wb->SaveAs(saved);
    }
    const auto before = StoredParts(path), after = StoredParts(saved);
    EXPECT_EQ(before.size(), after.size());
    for (const auto& [name, part] : before)
        EXPECT_TRUE(after.count(name) && after.at(name) == part) << name.toStdString();
    Application app;
    EXPECT_EQ(app.Workbooks().Open(saved)->Sheets().Item(1)->Range(QStringLiteral("B1")).Value(),
              CellValue::Number(1.5));
}
