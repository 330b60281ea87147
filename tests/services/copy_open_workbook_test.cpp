// CopyOpenWorkbook: the open workbook saved under another path in its own format, the old
// target kept whole when the save fails.

#include "services/UserPrompts.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsLog.h"

#include "../platform/workbook/WriterFixtures.h"
#include "TestSupport.h"

class CopyOpenWorkbookTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        InitLog(GetLogFile(), false, false);
        ASSERT_WRITER_FIXTURES();
        ASSERT_TRUE(Excel_Init(XL));
        source = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
        wb = XL->Workbooks().Open(source);
    }
    void TearDown() override {
        Excel_Exit(XL);
        ProgramFolderTest::TearDown();
    }
    QTemporaryDir tmp;
    QString source;
    ExcelApp XL;
    xl::Workbook* wb = nullptr;
};

TEST_F(CopyOpenWorkbookTest, SavesTheWorkbookUnderTheNewPathAndReplacesAnOldCopy) {
    wb->Sheets().Item(QStringLiteral("Other"))->Range(QStringLiteral("A2")).SetValue(xl::CellValue::Number(42));
    const QString target = tmp.filePath(QStringLiteral("PVCopy7.xlsx"));
    ASSERT_TRUE(CopyOpenWorkbook(wb, target));
    // The copy is closed again; the source stays open and active, unsaved.
    EXPECT_EQ(XL->Workbooks().Count(), 1);
    EXPECT_EQ(XL->ActiveWorkbook(), wb);
    EXPECT_EQ(wb->FullName(), QFileInfo(source).absoluteFilePath());
    EXPECT_NE(writerfx::ReadAll(source), writerfx::ReadAll(target));

    xl::Application check;
    xl::Workbook* copy = check.Workbooks().Open(target);
    EXPECT_EQ(copy->Sheets().Count(), 2);
    EXPECT_EQ(copy->Sheets().Item(QStringLiteral("Other"))->Range(QStringLiteral("A2")).Value().number, 42);
    EXPECT_EQ(copy->Sheets().Item(QStringLiteral("Data"))->Shapes().Count(), 2);

    // A second copy replaces the first.
    wb->Sheets().Item(QStringLiteral("Other"))->Range(QStringLiteral("A2")).SetValue(xl::CellValue::Number(43));
    ASSERT_TRUE(CopyOpenWorkbook(wb, target));
    xl::Application again;
    EXPECT_EQ(again.Workbooks().Open(target)->Sheets().Item(2)->Range(QStringLiteral("A2")).Value().number, 43);
    EXPECT_TRUE(PromptScript::Messages().isEmpty());
}

TEST_F(CopyOpenWorkbookTest, AFailedSaveKeepsTheOldTarget) {
    const QString target = tmp.filePath(QStringLiteral("PVCopy8.xlsx"));
    ASSERT_TRUE(CopyOpenWorkbook(wb, target));
    const QByteArray old = writerfx::ReadAll(target);
    wb->Sheets().Item(1)->Range(QStringLiteral("A1")).SetValue(xl::CellValue::Text(QStringLiteral("changed")));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_FALSE(CopyOpenWorkbook(wb, target));
    EXPECT_EQ(writerfx::ReadAll(target), old);
    EXPECT_EQ(XL->Workbooks().Count(), 1);
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].contains(QStringLiteral("read-only")));
    EXPECT_TRUE(LogText().contains(QStringLiteral("CopyOpenWorkbook")));

    EXPECT_FALSE(CopyOpenWorkbook(wb, tmp.filePath(QStringLiteral("missing/PVCopy9.xlsx"))));
    EXPECT_FALSE(CopyOpenWorkbook(nullptr, target));
    EXPECT_EQ(writerfx::ReadAll(target), old);
}
