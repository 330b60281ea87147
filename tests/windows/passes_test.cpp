// Passes over a dashboard (opening it, refreshing it) as the user lives through them: the
// cached pictures first, the window live while LibreOffice works, the pictures that must be
// painted painted side by side and shown in the order of record.

#include "WindowTestSupport.h"

#include "platform/workbook/Recalc.h"
#include "windows/PictureBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

using testsupport::WriteScript;

}  // namespace

class PassTest : public WindowTest {
protected:
    int32_t AddSourceOfType(const QString& type) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbPanelSource(FullPath, DestFolder, NewestFile, Mask, UpdateType, "
                                    "CheckEveryNMin, LastChecked) VALUES (?, ?, 'Sales.xlsx', 'Sales.xlsx', ?, 60, ?)"),
                     {InFolder(QStringLiteral("Sales.xlsx")), Folder() + QLatin1Char('/'), type,
                      db::ToStoredDateTime(QDateTime::currentDateTime().addDays(1))});
        return static_cast<int32_t>(gDB->LastInsertId());
    }
    int32_t AddChartPanel(int32_t workspaceID, int32_t sourceID, const QString& caption, int32_t left) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, "
                                    "SheetName, PicRange, [Left], [Top], Width, Height, ViewType, Caption) "
                                    "VALUES (?, ?, 'C', 'N', 'Data', 'Chart 1', ?, 3000, 6000, 3000, 'A', ?)"),
                     {workspaceID, sourceID, left, caption});
        return static_cast<int32_t>(gDB->LastInsertId());
    }
    static QString CacheFile(int32_t panelID) { return GetPanelsFolder() + QString::number(panelID) + QStringLiteral(".bmp"); }
    static void WriteCache(int32_t panelID, const QColor& colour) {
        QImage picture(60, 40, QImage::Format_RGB32);
        picture.fill(colour);
        ASSERT_TRUE(picture.save(CacheFile(panelID), "BMP"));
    }
    frmPanel* PanelCaptioned(const QString& caption) const {
        for (frmPanel* panel : Window()->PanelWindows())
            if (const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index); record && record->Caption == caption)
                return panel;
        return nullptr;
    }
    static QColor Shown(const frmPanel* panel) {
        const QImage picture = panel->picPanel()->Picture();
        return picture.isNull() ? QColor() : picture.pixelColor(5, 5);
    }
};

// Opening a dashboard whose source LibreOffice must recalculate: the pictures cached last time
// show before the source is asked. While LibreOffice works (here one that takes a second and
// dies, twice) the window's events go on: its status says what is done, the dashboard's
// commands are refused, a close waits for the end of the pass; then everything is as before.
TEST_F(PassTest, StartUpShowsTheCachedPicturesFirstAndStaysLiveWhileLibreOfficeWorks) {
    const QString fake = InFolder(QStringLiteral("fake"));
    QDir().mkpath(fake);
    WriteScript(fake + QStringLiteral("/soffice"), "#!/bin/sh\nsleep 1\nexit 1\n");
    const testsupport::PathGuard path(fake + QStringLiteral(":/usr/bin:/bin"));
    const int32_t source = AddSourceOfType(QStringLiteral("refresh"));
    const int32_t id = AddDashboard(QStringLiteral("Live"));
    const int32_t first = AddPanel(id, source, QStringLiteral("First"), 0, 0);
    const int32_t second = AddPanel(id, source, QStringLiteral("Second"), 4000, 0);
    WriteCache(first, Qt::red);
    WriteCache(second, Qt::blue);

    struct {
        int ticks = 0;
        bool picturesFirst = false, commandsRefused = false, statusShown = false, closeRefused = false;
        bool launchRefused = false;
        bool closeTried = false;
    } seen;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        frmWorkspace* w = Window();
        if (!w || !w->IsPassRunning())
            return;
        ++seen.ticks;
        const frmPanel* one = PanelCaptioned(QStringLiteral("First"));
        const frmPanel* two = PanelCaptioned(QStringLiteral("Second"));
        if (one && two && !one->Frame()->isHidden() && !two->Frame()->isHidden() && Shown(one) == QColor(Qt::red) &&
            Shown(two) == QColor(Qt::blue))
            seen.picturesFirst = true;
        if (!w->findChild<QMenu*>(QStringLiteral("mnuWorkspace"))->isEnabled() &&
            !w->findChild<QMenu*>(QStringLiteral("mnuPanel"))->isEnabled() &&
            !w->findChild<QMenu*>(QStringLiteral("mnuTools"))->isEnabled() &&
            !w->findChild<QToolBar*>(QStringLiteral("picToolbar"))->isEnabled())
            seen.commandsRefused = true;
        if (w->statusBar()->currentMessage().contains(QStringLiteral("Recalculating Sales.xlsx")))
            seen.statusShown = true;
        if (!seen.closeTried) {
            seen.closeTried = true;
            seen.closeRefused = !w->close();
            // A double click on a panel would open its workbook, asking the source once more.
            if (frmPanel* panel = PanelCaptioned(QStringLiteral("Second"))) {
                panel->picPanel_DblClick();
                seen.launchRefused = DesktopLaunch::Requests().isEmpty();
            }
        }
    });
    probe.start();
    StartWindow();
    probe.stop();

    EXPECT_GE(seen.ticks, 3) << "the window's events waited for LibreOffice";
    EXPECT_TRUE(seen.picturesFirst) << "the cached pictures did not show while the source was recalculated";
    EXPECT_TRUE(seen.commandsRefused);
    EXPECT_TRUE(seen.statusShown);
    EXPECT_TRUE(seen.closeRefused) << "the window closed in the middle of the pass";
    EXPECT_TRUE(seen.launchRefused) << "a panel's workbook was opened in the middle of the pass";
    // The recalculation failed, as the user is told; the panels keep their pictures.
    EXPECT_TRUE(PromptScript::Messages().join('\n').contains(QStringLiteral("LibreOffice could not be started")))
        << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(LogText().count(QStringLiteral("LibreOffice died while starting")), 2) << LogText().toStdString();
    ASSERT_TRUE(Window());
    EXPECT_FALSE(Window()->IsPassRunning());
    EXPECT_TRUE(Window()->findChild<QMenu*>(QStringLiteral("mnuWorkspace"))->isEnabled());
    EXPECT_TRUE(PanelMenuEnabled());
    EXPECT_TRUE(Window()->findChild<QToolBar*>(QStringLiteral("picToolbar"))->isEnabled());
    EXPECT_TRUE(Window()->statusBar()->currentMessage().isEmpty());
    ASSERT_EQ(Window()->PanelWindows().size(), 2u);
    EXPECT_EQ(Shown(PanelCaptioned(QStringLiteral("First"))), QColor(Qt::red));
    // The close asked for during the pass comes now.
    for (int i = 0; i < 100 && Window(); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_FALSE(Window()) << "the close asked for during the pass never came";
    xl::StopRecalculation();
}

// Panels without cached pictures are painted on other cores: each shows the same picture the
// one-by-one rendering gives, the cache files are written, the user's clipboard is left alone,
// and the windows stack as a load one after the other leaves them: the first record's on top.
TEST_F(PassTest, PanelsPaintedSideBySideShowWhatOneByOneRenderingShows) {
    const int32_t source = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t id = AddDashboard(QStringLiteral("Side by side"));
    std::vector<int32_t> ids;
    for (int i = 0; i < 5; ++i)
        ids.push_back(AddPanel(id, source, QStringLiteral("Range %1").arg(i + 1), 3200 * i, 0));
    ids.push_back(AddChartPanel(id, source, QStringLiteral("Chart"), 0));
    QGuiApplication::clipboard()->setText(QStringLiteral("what the user copied"));

    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), ids.size()) << PromptScript::Messages().join('\n').toStdString();
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('\n').toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("what the user copied"));
    std::map<QString, QImage> painted;
    for (frmPanel* panel : Window()->PanelWindows()) {
        EXPECT_FALSE(panel->Frame()->isHidden());
        EXPECT_FALSE(panel->PicturePending());
        EXPECT_FALSE(panel->IsLoad);
        const clsWorkspacePanel* record = gWorkspace->Panels(panel->Index);
        ASSERT_TRUE(record);
        ASSERT_FALSE(panel->picTemp()->Picture().isNull()) << record->Caption.toStdString();
        painted[record->Caption] = panel->picTemp()->Picture();
        const QImage cached(CacheFile(record->ID));
        EXPECT_EQ(cached.size(), panel->picTemp()->Picture().size()) << record->Caption.toStdString();
    }
    EXPECT_NEAR(painted.at(QStringLiteral("Chart")).width(), 548, 1);  // 15 cm, as Calc shows it at 96 dpi
    // The first record's window is the active one, on top of the others.
    QMdiSubWindow* active = Window()->mdiArea()->activeSubWindow();
    ASSERT_TRUE(active);
    EXPECT_EQ(qobject_cast<frmPanel*>(active->widget())->Index, 1);
    EXPECT_EQ(Window()->mdiArea()->subWindowList(QMdiArea::StackingOrder).back(), active);

    // One by one, as a panel's own refresh renders it: the same pictures.
    for (frmPanel* panel : Window()->PanelWindows()) {
        Window()->mdiArea()->setActiveSubWindow(panel->SubWindow());
        Click("mnuPanelRefresh");
        const QString caption = gWorkspace->Panels(panel->Index)->Caption;
        EXPECT_EQ(panel->picTemp()->Picture().convertToFormat(QImage::Format_RGB32),
                  painted.at(caption).convertToFormat(QImage::Format_RGB32))
            << caption.toStdString();
    }
}
