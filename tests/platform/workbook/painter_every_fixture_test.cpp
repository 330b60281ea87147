// Whatever the reader accepts, the painter paints or refuses with a clear error: every sheet's
// used range and every shape of every fixture workbook, from both producers and the odd ones.

#include "PainterSupport.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(PainterEveryFixture, EveryUsedRangeAndShapeGivesAPictureOrAClearError) {
    QStringList files;
    for (const QString& folder : {fixtures::Path(QString()), fixtures::LibreOfficeCopy(QString()),
                                  fixtures::Bad(QString())})
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.xlsx")}, QDir::Files))
            files << folder + name;
    ASSERT_FALSE(files.isEmpty()) << "fixtures not made (the build makes them with python3-openpyxl, "
                                     "python3-pil and libreoffice-calc: scripts/install-deps --test)";
    int pictures = 0, refused = 0;
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        xl::Application app;
        xl::Workbook* book = nullptr;
        try {
            book = app.Workbooks().Open(path);
        } catch (const xl::Error&) {
            continue;  // the reader's refusal is the reader's tests' business
        }
        for (int i = 1; i <= book->Sheets().Count(); ++i) {
            xl::Worksheet* sheet = book->Sheets().Item(i);
            if (sheet->Kind() != xl::SheetKind::Worksheet)
                continue;
            try {
                (void)sheet->Data();  // each sheet is read when first used
            } catch (const xl::Error&) {
                continue;
            }
            try {
                const QImage img = xl::RangePicture(sheet->UsedRange());
                EXPECT_FALSE(img.isNull());
                ++pictures;
            } catch (const xl::Error& e) {
                EXPECT_FALSE(e.Message().isEmpty());
                ++refused;
            }
            for (xl::Shape* shape : sheet->Shapes().All()) {
                try {
                    const xl::ChartPicture pic = xl::ShapePicture(*shape);
                    EXPECT_FALSE(pic.image.isNull());
                    if (pic.placeholder) {
                        EXPECT_FALSE(pic.note.isEmpty());  // the caller has something to log
                    }
                    ++pictures;
                } catch (const xl::Error& e) {
                    EXPECT_FALSE(e.Message().isEmpty());
                    ++refused;
                }
            }
        }
    }
    EXPECT_GT(pictures, 40);
    // The sheets far out ("Tall", the used range reaching row 70000) are refused, not painted.
    EXPECT_GT(refused, 0);
}
