// What a package may inflate to: a zip bomb is told by its ratio, a real part only by its size,
// and the bytes read are the bytes stored, whichever inflater reads them.

#include "../../fuzz/SyntheticPackage.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/Package.h"
#include "platform/workbook/ZipArchive.h"

#include <gtest/gtest.h>

#include <random>

using namespace xl;

namespace {

// Numbers as a sheet's XML holds them: they deflate about as much as real sheets do.
QByteArray SheetLikeText(qsizetype bytes, unsigned seed) {
    std::mt19937 rnd(seed);
    QByteArray text;
    text.reserve(bytes + 64);
    for (int col = 0; text.size() < bytes; ++col)
        text += "<c r=\"" + QByteArray::number(col) + "\"><v>" + QByteArray::number(double(rnd()) / 7.0, 'f', 6) +
                "</v></c>";
    return text;
}

QString Refusal(const QByteArray& zip, const PackageLimits& limits) {
    try {
        Package::FromZip(zip, limits);
    } catch (const Error& e) {
        return e.Message();
    }
    return QString();
}

PackageLimits Small() {
    PackageLimits limits;
    limits.ratioFloorBytes = 1 << 20;
    limits.maxRatio = 100;
    limits.maxPartBytes = 8 << 20;
    limits.maxTotalBytes = 16 << 20;
    return limits;
}

}  // namespace

TEST(PackageLimits, ABombIsToldByItsRatioARealPartOnlyByItsSize) {
    const QByteArray real = SheetLikeText(3 << 20, 7);
    const QByteArray zip = fuzzing::ZipOf({{"xl/worksheets/sheet1.xml", real}}, true);
    ASSERT_LT(zip.size(), real.size() / 2) << "the part was not deflated";
    // Well past the floor, in an ordinary ratio: read, byte for byte.
    const Package pkg = Package::FromZip(zip, Small());
    EXPECT_EQ(pkg.Part(QStringLiteral("xl/worksheets/sheet1.xml")), real);
    EXPECT_EQ(Package::FromZip(zip).Part(QStringLiteral("xl/worksheets/sheet1.xml")), real);

    // The same size of nothing is a bomb, whatever the size limits allow.
    const QString bomb =
        Refusal(fuzzing::ZipOf({{"xl/worksheets/sheet1.xml", QByteArray(3 << 20, '\0')}}, true), Small());
    EXPECT_TRUE(bomb.contains(QStringLiteral("part xl/worksheets/sheet1.xml inflates to more than 100 times")))
        << bomb.toStdString();
    EXPECT_TRUE(bomb.contains(QStringLiteral("zip bomb"))) << bomb.toStdString();
    // Below the floor, a high ratio does no harm.
    EXPECT_TRUE(Refusal(fuzzing::ZipOf({{"xl/styles.xml", QByteArray(512 << 10, ' ')}}, true), Small()).isEmpty());

    // A real part past what a package may take is too large, and says so.
    PackageLimits tight = Small();
    tight.maxPartBytes = 2 << 20;
    const QString large = Refusal(zip, tight);
    EXPECT_TRUE(large.contains(QStringLiteral("part xl/worksheets/sheet1.xml is too large"))) << large.toStdString();
    EXPECT_FALSE(large.contains(QStringLiteral("bomb"))) << large.toStdString();
    tight = Small();
    tight.maxTotalBytes = 5 << 20;
    const QString total = Refusal(fuzzing::ZipOf({{"xl/worksheets/sheet1.xml", real},
                                                  {"xl/worksheets/sheet2.xml", SheetLikeText(3 << 20, 8)}},
                                                 true),
                                  tight);
    EXPECT_TRUE(total.contains(QStringLiteral("the package is too large"))) << total.toStdString();
}

// Damaged deflated bytes are refused when the part is read, never read as a part, whichever
// inflater reads them: whole (a small part), or a piece at a time (a large one).
TEST(PackageLimits, ADamagedPartIsRefused) {
    for (const qsizetype size : {qsizetype(200) << 10, qsizetype(20) << 20}) {
        SCOPED_TRACE(size);
        const QByteArray real = SheetLikeText(size, 9);
        QByteArray zip = fuzzing::ZipOf({{"xl/worksheets/sheet1.xml", real}}, true);
        // The deflated bytes begin after the local header (30 bytes) and the part's name.
        for (qsizetype at : {qsizetype(4000), qsizetype(20000)})
            zip[at] = char(zip[at] ^ 0x5a);
        const Package pkg = Package::FromZip(zip);  // only the directory is read here
        QString why;
        try {
            pkg.Part(QStringLiteral("xl/worksheets/sheet1.xml"));
        } catch (const Error& e) {
            why = e.Message();
        }
        EXPECT_TRUE(why.contains(QStringLiteral("part xl/worksheets/sheet1.xml is damaged"))) << why.toStdString();
        why.clear();
        try {
            EntryReader reader = pkg.PartReader(QStringLiteral("xl/worksheets/sheet1.xml"));
            QByteArray piece;
            while (reader.Read(piece, 1 << 20) > 0)
                piece.clear();
        } catch (const Error& e) {
            why = e.Message();
        }
        EXPECT_TRUE(why.contains(QStringLiteral("part xl/worksheets/sheet1.xml is damaged"))) << why.toStdString();
    }
}
