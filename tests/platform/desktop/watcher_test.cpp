// The clipboard watcher on the application's real clipboard (offscreen, within the process):
// it remembers the workbook of the last spreadsheet link, and a copied chart is classified with it.

#include "Payloads.h"
#include "platform/desktop/ClipboardWatcher.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTemporaryDir>

using namespace desk;

namespace {

class ClipboardWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        payloads::MakeWorkbooks(dir_.path());
        QApplication::clipboard()->clear();
    }
    void TearDown() override { QApplication::clipboard()->clear(); }
    void Copy(const QString& caseName) {
        // The clipboard takes ownership of what it is given.
        QApplication::clipboard()->setMimeData(payloads::LoadIn(caseName, dir_.path()).release());
        QCoreApplication::processEvents();
    }
    QString Sales() const { return dir_.path() + QStringLiteral("/Sales.xlsx"); }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(ClipboardWatcherTest, RemembersTheWorkbookOfTheLastLinkForCharts) {
    ClipboardWatcher watcher;
    QStringList seen;
    QObject::connect(&watcher, &ClipboardWatcher::WorkbookSeen,
                     [&seen](const QString& path) { seen << path; });
    EXPECT_EQ(watcher.LastWorkbook(), "");

    // Before any cells were copied a chart has no workbook to be looked for in.
    Copy(QStringLiteral("chart"));
    EXPECT_EQ(watcher.Current().kind, ClipboardKind::Chart);
    EXPECT_EQ(watcher.Current().workbookPath, "");

    Copy(QStringLiteral("sheet-with-blank"));
    EXPECT_EQ(watcher.LastWorkbook(), Sales());
    EXPECT_EQ(watcher.LastSheet(), "Q1 Data");
    EXPECT_EQ(seen, QStringList({Sales()}));
    EXPECT_EQ(watcher.Current().kind, ClipboardKind::Cells);

    // A chart, text and a picture leave the memory alone.
    Copy(QStringLiteral("chart"));
    QApplication::clipboard()->setText(QStringLiteral("hello"));
    QCoreApplication::processEvents();
    EXPECT_EQ(watcher.LastWorkbook(), Sales());
    Copy(QStringLiteral("chart"));
    const ClipboardSelection chart = watcher.Current();
    EXPECT_EQ(chart.kind, ClipboardKind::Chart);
    EXPECT_EQ(chart.workbookPath, Sales());
    EXPECT_EQ(chart.width100mm, 15000);
    EXPECT_EQ(seen.size(), 1);

    // The last link counts, even when it is one that can't be pasted.
    Copy(QStringLiteral("ods-link"));
    EXPECT_EQ(watcher.LastWorkbook(), dir_.path() + QStringLiteral("/Budget.ods"));
    EXPECT_EQ(watcher.LastSheet(), "Sheet1");
    Copy(QStringLiteral("chart"));
    EXPECT_EQ(watcher.Current().workbookPath, "");  // no usable workbook: the caller asks

    // Cells of a never-saved document: the chart that follows most likely comes from it.
    Copy(QStringLiteral("range"));
    EXPECT_EQ(watcher.LastWorkbook(), Sales());
    Copy(QStringLiteral("unsaved"));
    EXPECT_EQ(watcher.LastWorkbook(), "");
    EXPECT_EQ(watcher.LastSheet(), "");
    Copy(QStringLiteral("chart"));
    EXPECT_EQ(watcher.Current().workbookPath, "");
}

TEST_F(ClipboardWatcherTest, CellsCopiedBeforeTheWatchStartedCount) {
    Copy(QStringLiteral("single-cell"));
    ClipboardWatcher watcher;
    EXPECT_EQ(watcher.LastWorkbook(), Sales());
    EXPECT_EQ(watcher.LastSheet(), "Data");
    watcher.Forget();
    EXPECT_EQ(watcher.LastWorkbook(), "");

    // The program's one watcher is made once and keeps watching.
    ClipboardWatcher* shared = ClipboardWatcher::Instance();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared, ClipboardWatcher::Instance());
    Copy(QStringLiteral("range"));
    EXPECT_EQ(shared->LastWorkbook(), Sales());
}
