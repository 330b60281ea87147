// Saving: parts kept byte for byte, values and colours written and read back, atomic
// replacement of the file with its refusals, an interrupted save, new workbooks.

#include "WriterFixtures.h"

#include "platform/workbook/PackageWriter.h"
#include "platform/workbook/Workbook.h"

#include <QDateTime>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace xl;

namespace {

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(WriterSave, UnchangedWorkbookKeepsEveryPartByteForByte) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const auto before = writerfx::Parts(path);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    EXPECT_TRUE(wb->Saved());
    wb->Save();
    EXPECT_EQ(writerfx::Parts(path), before);

    const QString other = tmp.filePath(QStringLiteral("again.xlsx"));
    wb->SaveAs(other);
    EXPECT_EQ(writerfx::Parts(other), before);
    EXPECT_EQ(wb->FullName(), QFileInfo(other).absoluteFilePath());
    EXPECT_EQ(wb->Name(), QStringLiteral("again.xlsx"));
    // Nothing but the two workbooks is left in the folder: no temporary file.
    EXPECT_EQ(FilesIn(tmp.path()).size(), 2);
}

TEST(WriterSave, ChangedValuesAndColoursAreWrittenAndOtherPartsKept) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const auto before = writerfx::Parts(path);
    const QDateTime when(QDate(2026, 3, 14), QTime(15, 9, 26));
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        Worksheet* ws = wb->Sheets().Item(QStringLiteral("Data"));
        ws->Range(QStringLiteral("A5")).SetValue(CellValue::Text(QStringLiteral("  two blanks & <tags>")));
        ws->Range(QStringLiteral("B5")).SetValue(CellValue::Number(-1234.5));
        ws->Range(QStringLiteral("B2")).SetValue(CellValue::Number(99));  // keeps its "0.00"
        ws->Range(QStringLiteral("A3")).SetValue(CellValue());            // emptied
        ws->Range(QStringLiteral("C5")).SetValue(when);
        ws->Range(QStringLiteral("C2:C3")).GetInterior().SetColor(RGB(0, 128, 255));
        ws->Range(QStringLiteral("Z100")).SetValue(CellValue::Boolean(true));
        EXPECT_FALSE(wb->Saved());
        wb->Close(true);
        EXPECT_EQ(app.Workbooks().Count(), 0);
    }
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    Worksheet* ws = wb->Sheets().Item(QStringLiteral("Data"));
    EXPECT_EQ(ws->Range(QStringLiteral("A5")).Value().text, QStringLiteral("  two blanks & <tags>"));
    EXPECT_EQ(ws->Range(QStringLiteral("B5")).Value().number, -1234.5);
    EXPECT_EQ(ws->Range(QStringLiteral("B2")).Text(), QStringLiteral("99.00"));
    EXPECT_TRUE(ws->Range(QStringLiteral("A3")).Value().IsEmpty());
    EXPECT_EQ(ws->Range(QStringLiteral("Z100")).Value().type, ValueType::Boolean);
    EXPECT_EQ(ws->Range(QStringLiteral("C5")).Text(), QStringLiteral("3/14/2026 15:09"));
    EXPECT_NEAR(ws->Range(QStringLiteral("C5")).Value().number, 46095.631551, 1e-6);
    EXPECT_EQ(ws->Range(QStringLiteral("C2")).GetInterior().Color(), RGB(0, 128, 255));
    EXPECT_EQ(ws->Range(QStringLiteral("C3")).GetInterior().Color(), RGB(0, 128, 255));
    // The cells around keep their looks: the bold header, the yellow fill.
    EXPECT_TRUE(ws->Style(1, 1).fontId != ws->Style(2, 1).fontId);
    EXPECT_EQ(ws->Range(QStringLiteral("B1")).GetInterior().Color(), RGB(255, 255, 0));
    EXPECT_EQ(ws->Range(QStringLiteral("A1")).Value().text, QStringLiteral("Name"));
    EXPECT_EQ(ws->Shapes().Count(), 2);

    const auto after = writerfx::Parts(path);
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [name, bytes] : before) {
        if (name == QLatin1String("xl/worksheets/sheet1.xml") || name == QLatin1String("xl/styles.xml"))
            EXPECT_NE(after.at(name), bytes) << name.toStdString();
        else
            EXPECT_EQ(after.at(name), bytes) << name.toStdString();
    }
}

TEST(WriterSave, SizesAreWritten) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    double widthA = 0;
    {
        Application app;
        Workbook* wb = app.Workbooks().Open(path);
        Worksheet* ws = wb->Sheets().Item(1);
        ws->Range(QStringLiteral("4:5")).SetRowHeight(40);
        ws->Range(QStringLiteral("C:D")).SetColumnWidth(15);
        ws->Range(QStringLiteral("F1")).SetColumnWidth(0);
        widthA = ws->Range(QStringLiteral("A1")).ColumnWidth();
        wb->Save();
    }
    Application app;
    Worksheet* ws = app.Workbooks().Open(path)->Sheets().Item(1);
    EXPECT_EQ(ws->Range(QStringLiteral("A4")).RowHeight(), 40);
    EXPECT_EQ(ws->Range(QStringLiteral("A5")).RowHeight(), 40);
    EXPECT_EQ(ws->Range(QStringLiteral("A2")).RowHeight(), 30);
    EXPECT_NEAR(ws->Range(QStringLiteral("C1")).ColumnWidth(), 15, 0.2);
    EXPECT_NEAR(ws->Range(QStringLiteral("D1")).ColumnWidth(), 15, 0.2);
    EXPECT_EQ(ws->Range(QStringLiteral("F1")).ColumnWidth(), 0);
    EXPECT_EQ(ws->Range(QStringLiteral("A1")).ColumnWidth(), widthA);
}

TEST(WriterSave, RefusedTargetsLeaveTheOldFileUntouched) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const QString target = writerfx::Copy(QStringLiteral("target.xlsx"), tmp);
    const QByteArray old = writerfx::ReadAll(target);
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    wb->Sheets().Item(1)->Range(QStringLiteral("A1")).SetValue(CellValue::Text(QStringLiteral("new")));

    // Read-only.
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup);
    try {
        wb->SaveAs(target);
        ADD_FAILURE() << "a read-only target was overwritten";
    } catch (const Error& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("read-only"))) << e.what();
    }
    EXPECT_EQ(writerfx::ReadAll(target), old);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);

    // Locked by a spreadsheet program that has it open.
    const QString lock = tmp.filePath(QStringLiteral(".~lock.target.xlsx#"));
    {
        QFile f(lock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_THROW(wb->SaveAs(target), Error);
    EXPECT_EQ(writerfx::ReadAll(target), old);
    QFile::remove(lock);

    // A folder that does not exist.
    try {
        wb->SaveAs(tmp.filePath(QStringLiteral("no/such/folder/x.xlsx")));
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("does not exist"))) << e.what();
    }
    // The workbook is still the one it was, and can still be saved.
    EXPECT_EQ(wb->FullName(), QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(FilesIn(tmp.path()).size(), 2);
    wb->SaveAs(target);
    Application check;
    EXPECT_EQ(check.Workbooks().Open(target)->Sheets().Item(1)->Range(QStringLiteral("A1")).Value().text,
              QStringLiteral("new"));
}

TEST(WriterSave, InterruptedSaveLeavesTheOldFileReadable) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    const QByteArray old = writerfx::ReadAll(path);
    // A large new content, so that the child is still writing when it is killed.
    const QByteArray replacement = QByteArray(300 << 20, 'x');
    for (int delayMs : {5, 40}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                WriteFileAtomically(path, replacement);
            } catch (...) {
            }
            _exit(0);
        }
        usleep(useconds_t(delayMs) * 1000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const QByteArray now = writerfx::ReadAll(path);
        // Either the old workbook or the whole new content, never a part of it.
        EXPECT_TRUE(now == old || now == replacement) << "size " << now.size();
        if (now == old) {
            Application app;
            EXPECT_EQ(app.Workbooks().Open(path)->Sheets().Item(1)->Range(QStringLiteral("B3")).Value().number, 20);
        } else {
            QFile::remove(path);
            QFile::copy(writerfx::Dir() + QStringLiteral("/book.xlsx"), path);
        }
    }
    // A later save still works beside whatever temporary file the killed one left.
    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    wb->Sheets().Item(1)->Range(QStringLiteral("B3")).SetValue(CellValue::Number(21));
    wb->Save();
    Application check;
    EXPECT_EQ(check.Workbooks().Open(path)->Sheets().Item(1)->Range(QStringLiteral("B3")).Value().number, 21);
    // ...and takes away what the killed ones left.
    EXPECT_EQ(FilesIn(tmp.path()), QStringList{QStringLiteral("book.xlsx")});
}

TEST(WriterSave, ASaveRemovesOnlyTheTemporaryFilesOfItsTargetNoSaveIsWriting) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    QTemporaryDir outside;
    const QString path = writerfx::Copy(QStringLiteral("book.xlsx"), tmp);
    auto make = [&](const QString& name) {
        QFile f(tmp.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("left over");
    };
    make(QStringLiteral(".book.xlsx.AbC123"));   // a killed save's
    make(QStringLiteral(".book.xlsx.Live99"));   // being written by another save right now
    make(QStringLiteral(".book.xlsx.toolong1"));  // not a name a save makes
    make(QStringLiteral(".other.xlsx.AbC123"));  // another workbook's
    const QString victim = outside.filePath(QStringLiteral("victim"));
    {
        QFile v(victim);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("precious");
    }
    ASSERT_TRUE(QFile::link(victim, tmp.filePath(QStringLiteral(".book.xlsx.Link12"))));
    const int live = ::open(QFile::encodeName(tmp.filePath(QStringLiteral(".book.xlsx.Live99"))).constData(), O_RDWR);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    Application app;
    Workbook* wb = app.Workbooks().Open(path);
    wb->Sheets().Item(1)->Range(QStringLiteral("B3")).SetValue(CellValue::Number(22));
    wb->Save();
    ::close(live);

    EXPECT_EQ(FilesIn(tmp.path()),
              (QStringList{".book.xlsx.Link12", ".book.xlsx.Live99", ".book.xlsx.toolong1",
                           ".other.xlsx.AbC123", "book.xlsx"}));
    EXPECT_EQ(writerfx::ReadAll(victim), QByteArray("precious"));
    Application check;
    EXPECT_EQ(check.Workbooks().Open(path)->Sheets().Item(1)->Range(QStringLiteral("B3")).Value().number, 22);
}

TEST(WriterSave, NewWorkbooks) {
    ASSERT_WRITER_FIXTURES();
    QTemporaryDir tmp;
    Application app;
    Workbook* a = app.Workbooks().Add();
    Workbook* b = app.Workbooks().Add();
    EXPECT_EQ(a->Name(), QStringLiteral("Book1"));
    EXPECT_EQ(b->Name(), QStringLiteral("Book2"));
    EXPECT_EQ(app.ActiveWorkbook(), b);
    EXPECT_FALSE(a->HasFile());
    EXPECT_TRUE(a->Path().isEmpty());
    ASSERT_EQ(a->Sheets().Count(), 1);
    EXPECT_EQ(a->Sheets().Item(1)->Name(), QStringLiteral("Sheet1"));
    // A workbook that was never saved has no file to save to.
    EXPECT_THROW(a->Save(), Error);
    a->Sheets().Item(1)->Range(QStringLiteral("B2")).SetValue(CellValue::Text(QStringLiteral("hello")));
    const QString path = tmp.filePath(QStringLiteral("new.xlsx"));
    a->SaveAs(path);
    EXPECT_TRUE(a->HasFile());
    EXPECT_TRUE(a->Saved());

    // From a template: a new, unsaved workbook named after it; the template is not touched.
    const QString tpl = writerfx::Copy(QStringLiteral("template.xlsx"), tmp);
    const QByteArray tplBytes = writerfx::ReadAll(tpl);
    Workbook* c = app.Workbooks().Add(tpl);
    EXPECT_EQ(c->Name(), QStringLiteral("template1"));
    EXPECT_FALSE(c->HasFile());
    EXPECT_EQ(c->Sheets().Count(), 2);
    EXPECT_EQ(c->Sheets().Item(QStringLiteral("Info"))->Range(QStringLiteral("B3")).Value().text,
              QStringLiteral("Placeholder"));
    c->Sheets().Item(1)->Range(QStringLiteral("C1")).SetValue(CellValue::Number(1));
    c->Close(false);
    EXPECT_EQ(writerfx::ReadAll(tpl), tplBytes);
    EXPECT_THROW(app.Workbooks().Add(tmp.filePath(QStringLiteral("missing.xlsx"))), Error);

    // A template file (.xltx) gives a workbook that is saved as a workbook, not a template.
    const QString xltx = tmp.filePath(QStringLiteral("Sales.xltx"));
    a->SaveAs(xltx);
    const auto mainType = [](const QString& file) {
        return QString::fromUtf8(writerfx::Parts(file).at(QStringLiteral("[Content_Types].xml")));
    };
    EXPECT_TRUE(mainType(xltx).contains(QStringLiteral("spreadsheetml.template.main+xml")));
    Workbook* d = app.Workbooks().Add(xltx);
    EXPECT_EQ(d->Name(), QStringLiteral("Sales1"));
    const QString fromTemplate = tmp.filePath(QStringLiteral("Sales report.xlsx"));
    d->SaveAs(fromTemplate);
    EXPECT_TRUE(mainType(fromTemplate).contains(QStringLiteral("spreadsheetml.sheet.main+xml")));
    EXPECT_FALSE(mainType(fromTemplate).contains(QStringLiteral("template.main")));

    Application check;
    Workbook* back = check.Workbooks().Open(path);
    EXPECT_EQ(back->Sheets().Item(1)->Name(), QStringLiteral("Sheet1"));
    EXPECT_EQ(back->Sheets().Item(1)->Range(QStringLiteral("B2")).Value().text, QStringLiteral("hello"));
}
