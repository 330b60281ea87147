// The spreadsheet helpers on the workbook engine, with relocation.xlsx and charts.xlsx made by
// openpyxl (tests/fixtures).

#include "services/modUtilsExcel.h"
#include "services/modUtilsLog.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QString Fixture(const QString& name) { return QStringLiteral(SB_FIXTURE_DIR "/") + name; }
}  // namespace

class ExcelHelpers : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, true);
        ASSERT_TRUE(QFileInfo::exists(Fixture(QStringLiteral("relocation.xlsx"))))
            << "fixtures not made (the build makes them with python3-openpyxl, python3-pil and "
               "libreoffice-calc: scripts/install-deps --test)";
        ASSERT_TRUE(Excel_Init(XL));
        wb = XL->Workbooks().Open(Fixture(QStringLiteral("relocation.xlsx")));
        ws = wb->Sheets().Item(QStringLiteral("Data"));
    }
    void TearDown() override {
        Excel_Exit(XL);
        ProgramFolderTest::TearDown();
    }
    ExcelApp XL;
    xl::Workbook* wb = nullptr;
    xl::Worksheet* ws = nullptr;
};

TEST(ExcelAddresses, ColumnLettersRunToXFD) {
    EXPECT_EQ(ColumnLetters(1), "A");
    EXPECT_EQ(ColumnLetters(26), "Z");
    EXPECT_EQ(ColumnLetters(27), "AA");
    EXPECT_EQ(ColumnLetters(52), "AZ");
    EXPECT_EQ(ColumnLetters(53), "BA");
    EXPECT_EQ(ColumnLetters(256), "IV");
    EXPECT_EQ(ColumnLetters(257), "IW");  // beyond the old 256-column grid
    EXPECT_EQ(ColumnLetters(16384), "XFD");
    EXPECT_EQ(ColumnLetters(16385), "");
    EXPECT_THROW(ColumnLetters(0), xl::Error);
    EXPECT_THROW(ColumnLetters(-3), xl::Error);
}

TEST(ExcelAddresses, RangeCornerAndAbsoluteFlags) {
    EXPECT_EQ(RangeCorner("B2:C3", "botRight"), "C3");
    EXPECT_EQ(RangeCorner("B2:C3", "topLeft"), "B2");
    EXPECT_EQ(RangeCorner("B2:C3", "botright"), "B2");  // exact comparison
    EXPECT_EQ(RangeCorner("B2", "botRight"), "B2");
    EXPECT_EQ(RangeCorner("B2", "topLeft"), "B2");

    bool rowAbs = false, colAbs = false;
    GetAbsFlags("$B5", rowAbs, colAbs);
    EXPECT_TRUE(colAbs);
    EXPECT_FALSE(rowAbs);
    GetAbsFlags("B$5", rowAbs, colAbs);
    EXPECT_FALSE(colAbs);
    EXPECT_TRUE(rowAbs);
    GetAbsFlags("$C$5", rowAbs, colAbs);
    EXPECT_TRUE(colAbs && rowAbs);
    GetAbsFlags("C15", rowAbs, colAbs);
    EXPECT_FALSE(colAbs || rowAbs);
    rowAbs = colAbs = true;
    GetAbsFlags("C5", rowAbs, colAbs);  // under three characters: untouched
    EXPECT_TRUE(colAbs && rowAbs);
    rowAbs = colAbs = true;
    GetAbsFlags("B5:C6", rowAbs, colAbs);  // not a single cell: untouched
    EXPECT_TRUE(rowAbs && colAbs);
    rowAbs = colAbs = false;
    GetAbsFlags("$B", rowAbs, colAbs);     // too short: untouched
    EXPECT_FALSE(rowAbs || colAbs);
}

TEST_F(ExcelHelpers, MoveRangeAddressKeepsSizeAndClamps) {
    EXPECT_EQ(MoveRangeAddress(ws, "B2:C3", "$E$10", "$C$8"), "A1:B2");
    EXPECT_EQ(MoveRangeAddress(ws, "B2:C3", "$C$8", "$E$10"), "D4:E5");
    EXPECT_EQ(MoveRangeAddress(ws, "B2:D4", "$D$4", "$A$1"), "A1:C3");
    EXPECT_EQ(MoveRangeAddress(ws, "$B$3:$F$20", "$H$40", "$H$45"), "B8:F25");
    EXPECT_EQ(MoveRangeAddress(ws, "C7", "$A$1", "$B$2"), "D8:D8");
    // Rows beyond 32767 move without overflow, and columns past IV keep their letters.
    EXPECT_EQ(MoveRangeAddress(ws, "B40000:C40010", "$A$1", "$IV$30001"), "IW70000:IX70010");
    // The grid's far edge holds too.
    EXPECT_EQ(MoveRangeAddress(ws, "A1:B2", "$A$1", "$XFD$1048576"), "XFC1048575:XFD1048576");
    EXPECT_THROW(MoveRangeAddress(ws, "B2:C3", "nonsense", "$A$1"), xl::Error);
}

TEST_F(ExcelHelpers, ShiftRowsColsAndColumnNumber) {
    EXPECT_EQ(ShiftRowsAddress(ws, "10:12", 3), "13:15");
    EXPECT_EQ(ShiftRowsAddress(ws, "1:2", 0), "1:2");
    EXPECT_EQ(ShiftRowsAddress(ws, "32760:32770", 10), "32770:32780");
    EXPECT_EQ(ShiftRowsAddress(ws, "B3:C4", 2), "5:6");
    EXPECT_EQ(ShiftColsAddress(ws, "B:D", 2), "D:F");
    EXPECT_EQ(ShiftColsAddress(ws, "IU:IV", 1), "IV:IW");
    EXPECT_THROW(ShiftColsAddress(ws, "B:D", -5), xl::Error);
    EXPECT_EQ(ColumnNumber(ws, "IW"), 257);
    EXPECT_EQ(ColumnNumber(ws, "xfd"), 16384);
    EXPECT_EQ(ColumnNumber(ws, ""), 0);
    EXPECT_THROW(ColumnNumber(ws, "XFE"), xl::Error);
}

TEST_F(ExcelHelpers, RealBottomRightCrossesTheLastRowAndColumn) {
    EXPECT_EQ(RealBottomRight(ws), "$K$12");  // last value H12, widest row reaches K
    EXPECT_EQ(RealBottomRight(wb->Sheets().Item(QStringLiteral("Tall"))), "$B$70000");
    EXPECT_FALSE(LogText().contains("No contents found"));
    EXPECT_EQ(RealBottomRight(wb->Sheets().Item(QStringLiteral("Empty"))), "");
    EXPECT_TRUE(LogText().contains("No contents found"));
    EXPECT_EQ(RealBottomRight(nullptr), "");
}

TEST_F(ExcelHelpers, SheetWorkbookAndShapeTests) {
    EXPECT_TRUE(Excel_HasSheet(wb, "data"));
    EXPECT_FALSE(Excel_HasSheet(wb, "Missing"));
    EXPECT_TRUE(LogText().contains("Missing not found."));

    xl::Workbook* charts = XL->Workbooks().Open(Fixture(QStringLiteral("charts.xlsx")));
    xl::Worksheet* sheet = charts->Sheets().Item(QStringLiteral("Charts"));
    EXPECT_TRUE(Excel_HasShape(sheet, "Chart 3"));
    EXPECT_FALSE(Excel_HasShape(sheet, "Chart 42"));
    EXPECT_TRUE(LogText().contains("Chart 42 not found."));

    bool sameName = false;
    EXPECT_TRUE(Excel_HasWorkbook(XL, Fixture(QStringLiteral("RELOCATION.xlsx")), sameName));
    EXPECT_FALSE(sameName);
    // The same file name open from another folder: not this workbook, but the flag is set.
    const QString elsewhere = InFolder(QStringLiteral("relocation.xlsx"));
    ASSERT_TRUE(QFile::copy(Fixture(QStringLiteral("relocation.xlsx")), elsewhere));
    sameName = false;
    EXPECT_FALSE(Excel_HasWorkbook(XL, elsewhere, sameName));
    EXPECT_TRUE(sameName);
    sameName = false;
    EXPECT_FALSE(Excel_HasWorkbook(XL, InFolder(QStringLiteral("other.xlsx")), sameName));
    EXPECT_FALSE(sameName);
    ExcelApp none;
    EXPECT_FALSE(Excel_HasWorkbook(none, elsewhere, sameName));
}

TEST_F(ExcelHelpers, InstancesStartCloseAndQuit) {
    EXPECT_FALSE(XL->Visible);
    EXPECT_FALSE(XL->DisplayAlerts);
    EXPECT_TRUE(XL->IgnoreRemoteRequests);
    xl::Application* held = XL.get();
    EXPECT_TRUE(Excel_Init(XL));  // an instance already held is kept
    EXPECT_EQ(XL.get(), held);
    XL->Workbooks().Open(Fixture(QStringLiteral("sizes.xlsx")));
    EXPECT_EQ(XL->Workbooks().Count(), 2);
    CloseWorkbooks(XL);
    EXPECT_EQ(XL->Workbooks().Count(), 0);
    auto keep = XL;  // to see the settings put back
    Excel_Exit(XL);
    EXPECT_FALSE(XL);
    EXPECT_TRUE(keep->DisplayAlerts);
    EXPECT_FALSE(keep->IgnoreRemoteRequests);
    Excel_Exit(XL);  // nothing to do
    CloseWorkbooks(XL);
}

TEST_F(ExcelHelpers, NoRunningSpreadsheetToAttachTo) {
    ExcelApp user;
    EXPECT_FALSE(Excel_GetInstance(user));
    EXPECT_FALSE(user);
    EXPECT_TRUE(LogText().contains("Excel_GetInstance"));
    EXPECT_TRUE(Excel_GetInstance(XL));  // a held instance is kept
}

TEST_F(ExcelHelpers, AHiddenInstanceClosesWithItsScopeHoweverTheScopeIsLeft) {
    std::weak_ptr<xl::Application> left;
    try {
        HiddenInstance hidden;
        ASSERT_TRUE(hidden.Start());
        hidden.XL->Workbooks().Open(Fixture(QStringLiteral("relocation.xlsx")));
        left = hidden.XL;
        throw std::runtime_error("the work failed half-way");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(left.expired());

    // Closed early, it is not closed twice; the next one starts afresh.
    HiddenInstance first;
    ASSERT_TRUE(first.Start());
    first.Close();
    EXPECT_FALSE(first.XL);
    first.Close();
    HiddenInstance second;
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.XL->Workbooks().Count(), 0);
}
