// Pasting through the main window's commands, and the periodic pass over real panels whose
// workbooks can go missing.

#include "PanelTestSupport.h"

#include "services/modMain.h"
#include "services/Twips.h"

#include <QApplication>
#include <QMouseEvent>

class PasteCommandsTest : public PanelTest {
protected:
    void RightClickBackground(int x, int y) const {
        QWidget* viewport = Window()->mdiArea()->viewport();
        QMouseEvent right(QEvent::MouseButtonRelease, QPointF(x, y),
                          viewport->mapToGlobal(QPointF(x, y)), Qt::RightButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &right);
        if (auto* menu = Window()->findChild<QMenu*>(QStringLiteral("mnuWorkspace")))
            menu->hide();
    }
};

TEST_F(PasteCommandsTest, APastedPanelAppearsAtTheLastRightClick) {
    StartWindow();
    Copy(QStringLiteral("range"));
    frmPanel* first = Paste();
    ASSERT_TRUE(first) << PromptScript::Messages().join('|').toStdString();
    EXPECT_EQ(first->Left(), 0);
    EXPECT_EQ(first->Top(), 0);

    RightClickBackground(100, 50);
    Copy(QStringLiteral("range"));
    frmPanel* second = Paste();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Left(), PixelsToTwipsX(100));
    EXPECT_EQ(second->Top(), PixelsToTwipsY(50));
    // The record keeps the window's first place until a save copies the positions.
    const clsWorkspacePanel* record = gWorkspace->Panels(second->Index);
    EXPECT_NE(QPoint(record->pLeft, record->pTop), QPoint(second->Left(), second->Top()));
    EXPECT_EQ(record->IsCustom, PanelPaste::Plain);
    EXPECT_EQ(record->ID, 0);
    EXPECT_EQ(Window()->mdiArea()->activeSubWindow(), second->SubWindow());

    // Paste Custom pastes just as Paste does.
    Copy(QStringLiteral("range"));
    Click("mnuWorkspacePasteCustom");
    ASSERT_EQ(gWorkspace->NumPanels(), 3);
    EXPECT_EQ(gWorkspace->Panels(3)->IsCustom, PanelPaste::Plain);
    EXPECT_EQ(Window()->PanelWindows().size(), 3u);
    EXPECT_FALSE(Window()->IsBusy());
}

TEST_F(PasteCommandsTest, AFailedPasteLeavesNothingBehind) {
    StartWindow();
    ASSERT_FALSE(PanelMenuEnabled());
    CopyText(QStringLiteral("not from a spreadsheet"));
    EXPECT_EQ(Paste(), nullptr);
    EXPECT_EQ(gWorkspace->NumPanels(), 0);
    EXPECT_TRUE(Window()->PanelWindows().empty());
    EXPECT_TRUE(Window()->mdiArea()->subWindowList().isEmpty());
    EXPECT_FALSE(PanelMenuEnabled());
    EXPECT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_FALSE(Window()->IsBusy());

    // With one panel there, a failed paste keeps it and the Panel menu.
    Copy(QStringLiteral("range"));
    ASSERT_TRUE(Paste());
    CopyText(QStringLiteral("again not"));
    EXPECT_EQ(Paste(), nullptr);
    EXPECT_EQ(gWorkspace->NumPanels(), 1);
    EXPECT_EQ(Window()->mdiArea()->subWindowList().size(), 1);
    EXPECT_TRUE(PanelMenuEnabled());
}

TEST_F(PasteCommandsTest, APassGoesOnPastAWorkbookThatVanished) {
    QFile::copy(InFolder(QStringLiteral("Sales.xlsx")), InFolder(QStringLiteral("Other.xlsx")));
    const int32_t sales = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t other = AddSource(InFolder(QStringLiteral("Other.xlsx")));
    const int32_t board = AddDashboard(QStringLiteral("Board"));
    const int32_t kept = AddStoredPanel(board, sales, QStringLiteral("S"), QStringLiteral("$A$1:$C$5``"),
                                        QStringLiteral("A"));
    const int32_t lost = AddStoredPanel(board, other, QStringLiteral("S"), QStringLiteral("$A$1:$C$5``"),
                                        QStringLiteral("A"));
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), 2u);
    // Windows come from the last record to the first: the lost one is reloaded first.
    frmPanel* lostWindow = Window()->PanelWindows().at(0);
    ASSERT_EQ(gWorkspace->Panels(lostWindow->Index)->ID, lost);
    const QImage before = lostWindow->picPanel()->Picture();
    ASSERT_FALSE(before.isNull());

    // Without their cached pictures both panels must be rendered again by the pass.
    QFile::remove(CachePath(kept));
    QFile::remove(CachePath(lost));
    QFile::remove(InFolder(QStringLiteral("Other.xlsx")));
    PromptScript::Reset();
    gRefreshFrequency = 0;
    Window()->timerRefresh_Timer();
    gRefreshFrequency = 10;

    EXPECT_EQ(lostWindow->picPanel()->Picture(), before);
    EXPECT_TRUE(QFile::exists(CachePath(kept)));
    EXPECT_FALSE(QFile::exists(CachePath(lost)));
    EXPECT_TRUE(LogText().contains(QStringLiteral("was not refreshed: its workbook ") +
                                   InFolder(QStringLiteral("Other.xlsx"))))
        << LogText().toStdString();
    EXPECT_FALSE(LogText().contains(QStringLiteral("Sales.xlsx was not found")));
    EXPECT_FALSE(Window()->IsBusy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PasteCommandsTest, PanelRefreshRendersTheNewestWorkbookAgain) {
    const int32_t sales = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
    const int32_t board = AddDashboard(QStringLiteral("Board"));
    const int32_t id = AddStoredPanel(board, sales, QStringLiteral("S"), QStringLiteral("$A$1:$C$5``"),
                                      QStringLiteral("A"));
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), 1u);
    frmPanel* panel = Window()->PanelWindows().front();
    const QImage before = panel->picTemp()->Picture();
    ASSERT_FALSE(before.isNull());
    ASSERT_TRUE(QFile::exists(CachePath(id)));

    // The workbook changes under the panel; the cached picture would hide that.
    QFile::remove(InFolder(QStringLiteral("Sales.xlsx")));
    ASSERT_TRUE(QFile::copy(InFolder(QStringLiteral("FrozenBoth.xlsx")), InFolder(QStringLiteral("Sales.xlsx"))));
    PromptScript::Reset();
    Click("mnuPanelRefresh");
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
    EXPECT_EQ(panel->picTemp()->Picture(),
              Painted(InFolder(QStringLiteral("Sales.xlsx")), QStringLiteral("Data"), QStringLiteral("$A$1:$C$5")));
    EXPECT_NE(panel->picTemp()->Picture(), before);
    EXPECT_FALSE(Window()->IsBusy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
