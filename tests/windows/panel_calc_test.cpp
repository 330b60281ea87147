// Pasting from workbooks that LibreOffice Calc made and saved itself
// (tests/fixtures/make_calc_workbooks.py): ranges of sheets saved scrolled, frozen or split are
// taken whole.

#include "PanelTestSupport.h"

#include "FixtureTools.h"

namespace {

QImage Shown(const frmPanel* panel) { return panel->picTemp()->Picture().convertToFormat(QImage::Format_RGB32); }

}  // namespace

class CalcPanelTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        for (const char* name : {"CalcViews.xlsx"}) {
            ASSERT_CALC_MADE(testsupport::CalcMade(QLatin1String(name)));
            ASSERT_TRUE(QFile::copy(testsupport::CalcMade(QLatin1String(name)), InFolder(QLatin1String(name))));
        }
    }

    // Cells copied in Calc: the captured cells payload with its link and text made those of
    // `range` on `sheet` of `workbook`. Each cell of the views workbook holds its own address.
    void CopyCells(const QString& workbook, const QString& sheet, const QString& range) {
        const xl::RangeRef r = *xl::ParseRange(range);
        QStringList lines;
        for (int32_t row = r.row1; row <= r.row2; ++row) {
            QStringList cells;
            for (int32_t col = r.col1; col <= r.col2; ++col)
                cells << xl::CellAddress(row, col, false, false);
            lines << cells.join(QLatin1Char('\t'));
        }
        auto data = payloads::Load(QStringLiteral("range"),
                                   {{payloads::kCaptureFolder + "/Sales.xlsx", QFile::encodeName(workbook)},
                                    {"Data.A2:C4", (sheet + QLatin1Char('.') + range).toUtf8()},
                                    {"North\t120\t135\nSouth\t98\t101\nEast\t143.5\t150", lines.join('\n').toUtf8()}});
        QGuiApplication::clipboard()->setMimeData(data.release());
    }
};

TEST_F(CalcPanelTest, ARangeIsPastedWholeWhateverViewCalcSavedItsSheetWith) {
    const QString views = InFolder(QStringLiteral("CalcViews.xlsx"));
    StartWindow();
    // Sheets saved scrolled away from the range, frozen and split
    // (tests/fixtures/make_calc_workbooks.py). The panel shows every row and column copied,
    // with the fixed ones: the picture of `same`, or one of its size where the fixed rows stand
    // apart from the range.
    const struct {
        const char* sheet;
        const char* range;
        const char* picRange;
        const char* same;
        bool exact;
    } cases[] = {
        {"Scrolled", "A1:E16", "$A$1:$E$16``", "A1:E16", true},
        {"Far", "A1:E16", "$A$1:$E$16``", "A1:E16", true},
        {"Scrolled", "A1:E100", "$A$1:$E$100``", "A1:E100", true},
        {"FrozenRows", "A1:E16", "$A$3:$E$16`1:2`", "A1:E16", true},
        {"FrozenRows", "B41:C44", "$B$41:$C$44`1:2`", "B1:C6", false},
        {"FrozenBoth", "A1:E16", "$C$3:$E$16`1:2`A:B", "A1:E16", true},
        {"Split", "A1:E16", "$A$4:$E$16`1:3`", "A1:E16", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sheet) + " " + c.range);
        PromptScript::Reset();
        CopyCells(views, QLatin1String(c.sheet), QLatin1String(c.range));
        frmPanel* panel = Paste();
        ASSERT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
        EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
        EXPECT_EQ(gWorkspace->Panels(panel->Index)->PicRange, QLatin1String(c.picRange));
        const QImage same = Painted(views, QLatin1String(c.sheet), QLatin1String(c.same)).convertToFormat(QImage::Format_RGB32);
        if (c.exact) {
            EXPECT_EQ(Shown(panel), same);
        } else {
            EXPECT_EQ(Shown(panel).size(), same.size());
        }
    }
}
