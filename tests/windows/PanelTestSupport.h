#pragma once
// Panel windows on a started main window, pasted from captured clipboard payloads that point
// at workbooks written by openpyxl, or loaded from stored rows.

#include "../platform/desktop/Payloads.h"
#include "WindowTestSupport.h"

#include "platform/desktop/ClipboardWatcher.h"
#include "platform/workbook/CopyPicture.h"
#include "services/modUtilsExcel.h"
#include "windows/PictureBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMdiArea>
#include <QScrollBar>

class PanelTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        for (const char* name : {"FrozenRows.xlsx", "FrozenCols.xlsx", "FrozenBoth.xlsx", "NoChart.xlsx"})
            QFile::copy(FixtureWorkbookFolder() + QLatin1Char('/') + QLatin1String(name),
                        InFolder(QLatin1String(name)));
        desk::ClipboardWatcher::Instance()->Forget();
        QGuiApplication::clipboard()->clear();
    }

    // Puts a captured payload on the clipboard, its workbook path replaced by `workbook`.
    void Copy(const QString& caseName, const QString& workbook = QString()) {
        const QString target = workbook.isEmpty() ? InFolder(QStringLiteral("Sales.xlsx")) : workbook;
        auto data = payloads::Load(
            caseName, {{payloads::kCaptureFolder + "/Sales.xlsx", QFile::encodeName(target)},
                       {payloads::kCaptureFolder, QFile::encodeName(Folder())}});
        QGuiApplication::clipboard()->setMimeData(data.release());
    }
    void CopyText(const QString& text) { QGuiApplication::clipboard()->setText(text); }

    frmPanel* Paste() {
        const size_t before = Window()->PanelWindows().size();
        Click("mnuWorkspacePaste");
        const auto open = Window()->PanelWindows();
        return open.size() > before ? open.back() : nullptr;
    }

    // A panel window with a record marked for the custom road, as no menu command makes one.
    static frmPanel* CustomPanel(frmWorkspace* window) {
        auto* panel = new frmPanel;
        window->mdiArea()->addSubWindow(panel);
        panel->Index = gWorkspace->AddPanel();
        gWorkspace->Panels(panel->Index)->IsCustom = PanelPaste::Custom;
        return panel;
    }

    // The picture the engine paints for `address` of `sheet` in `workbook`.
    static QImage Painted(const QString& workbook, const QString& sheet, const QString& address) {
        xl::Application app;
        xl::Workbook* book = app.Workbooks().Open(workbook);
        return xl::RangePicture(book->Sheets().Item(sheet)->Range(address));
    }

    static int32_t AddStoredPanel(int32_t workspace, int32_t source, const QString& type,
                                  const QString& picRange, const QString& view,
                                  int32_t width = 3000, int32_t height = 1500) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, "
                                    "IsCustom, SheetName, PicRange, RelativeTo, [Left], [Top], "
                                    "Width, Height, ViewType, Caption) VALUES (?, ?, ?, 'N', "
                                    "'Data', ?, 'top', 0, 0, ?, ?, ?, 'Sales')"),
                     {workspace, source, type, picRange, width, height, view});
        return static_cast<int32_t>(gDB->LastInsertId());
    }
    // A panel window of record 1 that no load has shown yet, and a hidden instance for it.
    frmPanel* NewPanelWindow(ExcelApp& XL) {
        auto* panel = new frmPanel;
        Window()->mdiArea()->addSubWindow(panel);
        panel->Index = 1;
        EXPECT_TRUE(Excel_Init(XL));
        PromptScript::Reset();
        return panel;
    }
    // Gives the panel window a client area of w by h pixels.
    static void SetClientPixels(frmPanel* panel, int w, int h) {
        const QSize frame = panel->Frame()->size() - panel->size();
        panel->Frame()->resize(QSize(w, h) + frame);
    }
    static QString CachePath(int32_t id) {
        return GetPanelsFolder() + QString::number(id) + QStringLiteral(".bmp");
    }
};
