// The panel window in its frame: a pasted or autosized window holds its whole picture, its size
// survives a save and a reload however large it is, and the main window's Panel menu follows
// whichever panel window the user activates.

#include "PanelTestSupport.h"

#include "services/Twips.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

namespace {

// The frame's borders and title bar around a client area.
QSize FrameExtra(frmPanel* panel) {
    const QMargins m = panel->SubWindow()->contentsMargins();
    return QSize(m.left() + m.right(), m.top() + m.bottom());
}

}  // namespace

class PanelFrameTest : public PanelTest {
protected:
    clsWorkspacePanel* RecordOf(frmPanel* panel) const { return gWorkspace->Panels(panel->Index); }
    // The main window shown, and a range pasted on it from the copied cells.
    frmPanel* StartAndPasteRange() {
        if (!Window()) {
            StartWindow();
            Window()->show();
            QCoreApplication::processEvents();
        }
        Copy(QStringLiteral("range"));
        frmPanel* panel = Paste();
        EXPECT_TRUE(panel) << PromptScript::Messages().join('|').toStdString();
        QCoreApplication::processEvents();
        return panel;
    }
    bool Checked(const char* control) const { return Item(control)->isChecked(); }
    bool Enabled(const char* control) const { return Item(control)->isEnabled(); }
    // A left press and release on the panel's picture, delivered to the main window as the
    // window system delivers a click, so that the dashboard area sees it too.
    void ClickPicture(frmPanel* panel) const {
        QWidget* target = panel->picPanel();
        const QPointF at(2, 2);
        const QPointF inWindow = target->mapTo(Window(), at);
        QWindow* handle = Window()->windowHandle();
        ASSERT_TRUE(handle);
        QMouseEvent press(QEvent::MouseButtonPress, inWindow, target->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, inWindow, target->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &release);
        QCoreApplication::processEvents();
    }
};

TEST_F(PanelFrameTest, APastedPanelIsShownAsLargeAsItsPicture) {
    frmPanel* panel = StartAndPasteRange();
    ASSERT_TRUE(panel);
    const QSize picture = panel->picTemp()->Picture().size();
    ASSERT_GT(picture.width(), 50);

    // The first picture is laid out before the frame is ever shown; the frame that then shows
    // holds all of it, neither a pixel smaller nor with the title bar's room missing.
    EXPECT_TRUE(panel->SubWindow()->isVisible());
    EXPECT_EQ(panel->size(), picture);
    EXPECT_EQ(panel->SubWindow()->size(), picture + FrameExtra(panel));
    EXPECT_EQ(panel->picPanel()->geometry(), QRect(QPoint(0, 0), picture));
    EXPECT_EQ(RecordOf(panel)->ViewType, PanelView::Crop);

    // Saved, the row keeps that frame in twips; opened again, the crop window has that size.
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Frames"));
    Click("mnuWorkspaceSave");
    const int32_t id = RecordOf(panel)->ID;
    ASSERT_GT(id, 0);
    const QSize outer = picture + FrameExtra(panel);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Width FROM DsbSavedPanel WHERE ID = ?"), {id}),
              PixelsToTwipsX(outer.width()));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Height FROM DsbSavedPanel WHERE ID = ?"), {id}),
              PixelsToTwipsY(outer.height()));
    Click("mnuWorkspaceRefresh");
    QCoreApplication::processEvents();
    ASSERT_EQ(Window()->PanelWindows().size(), 1u);
    EXPECT_EQ(Window()->PanelWindows().front()->size(), picture);
}

TEST_F(PanelFrameTest, AutosizeFitsThePictureAtTheFirstTry) {
    frmPanel* panel = StartAndPasteRange();
    ASSERT_TRUE(panel);
    const QSize picture = panel->picTemp()->Picture().size();

    // A frame squeezed below its own title bar leaves the window no size to measure by.
    panel->SubWindow()->resize(1, 1);
    QCoreApplication::processEvents();
    Click("mnuPanelAutosize");
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->size(), picture);
    EXPECT_EQ(panel->SubWindow()->size(), picture + FrameExtra(panel));
    EXPECT_EQ(RecordOf(panel)->pWidth, PixelsToTwipsX(picture.width() + FrameExtra(panel).width()));
    EXPECT_EQ(RecordOf(panel)->pHeight,
              PixelsToTwipsY(picture.height() + FrameExtra(panel).height()));

    // The same for a frame that was never shown.
    ExcelApp XL;
    frmPanel* hidden = NewPanelWindow(XL);
    hidden->SubWindow()->hide();
    hidden->picTemp()->SetPicture(panel->picTemp()->Picture());
    hidden->Panel_Autosize();
    EXPECT_EQ(hidden->SubWindow()->size(), picture + FrameExtra(hidden));
    EXPECT_EQ(hidden->ScaleWidth(), PixelsToTwipsX(picture.width()));
    Excel_Exit(XL);
}

TEST_F(PanelFrameTest, AWindowBeyond32767TwipsKeepsItsSize) {
    frmPanel* panel = StartAndPasteRange();
    ASSERT_TRUE(panel);

    // A picture about 2500 pixels across: some 37500 twips, past any 16-bit size.
    QImage big(2500, 2300, QImage::Format_RGB32);
    big.fill(Qt::darkCyan);
    const QString file = InFolder(QStringLiteral("big.png"));
    ASSERT_TRUE(big.save(file));
    PromptScript::QueueDialog(QStringLiteral("open"), file);
    panel->Panel_BrowsePicture();
    QCoreApplication::processEvents();
    const QSize outer = big.size() + FrameExtra(panel);
    ASSERT_EQ(panel->SubWindow()->size(), outer);
    EXPECT_GT(RecordOf(panel)->pWidth, 32767);
    EXPECT_GT(RecordOf(panel)->pHeight, 32767);

    // Kept in crop mode, stored and opened again: the stored size is the window's size.
    Click("mnuPanelCrop");
    PromptScript::QueueDialog(QStringLiteral("frmSaveWorkspace"), QStringLiteral("Wide"));
    Click("mnuWorkspaceSave");
    const int32_t id = RecordOf(panel)->ID;
    ASSERT_GT(id, 0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Width FROM DsbSavedPanel WHERE ID = ?"), {id}),
              PixelsToTwipsX(outer.width()));
    Click("mnuWorkspaceRefresh");
    QCoreApplication::processEvents();
    ASSERT_EQ(Window()->PanelWindows().size(), 1u) << PromptScript::Messages().join('|').toStdString();
    frmPanel* reopened = Window()->PanelWindows().front();
    EXPECT_EQ(RecordOf(reopened)->ViewType, PanelView::Crop);
    EXPECT_EQ(reopened->SubWindow()->size(), outer);
}

TEST_F(PanelFrameTest, ThePanelMenuFollowsTheActivePanel) {
    frmPanel* range = StartAndPasteRange();
    ASSERT_TRUE(range);
    Click("mnuPanelZoomToFit");
    Copy(QStringLiteral("chart"));
    frmPanel* chart = Paste();
    ASSERT_TRUE(chart) << PromptScript::Messages().join('|').toStdString();
    ASSERT_EQ(RecordOf(chart)->ContentType, PanelContent::Chart);
    ASSERT_EQ(RecordOf(chart)->ViewType, PanelView::Crop);
    // Side by side, as the user would drag them.
    chart->SubWindow()->move(range->SubWindow()->geometry().right() + 20, 0);

    // The user clicks the range panel, then the chart panel, then the range panel again.
    ClickPicture(range);
    ASSERT_EQ(Window()->mdiArea()->activeSubWindow(), range->SubWindow());
    EXPECT_TRUE(Checked("mnuPanelZoomToFit"));
    EXPECT_FALSE(Checked("mnuPanelCrop"));
    EXPECT_TRUE(Enabled("mnuPanelRange"));

    ClickPicture(chart);
    ASSERT_EQ(Window()->mdiArea()->activeSubWindow(), chart->SubWindow());
    EXPECT_TRUE(Checked("mnuPanelCrop"));
    EXPECT_FALSE(Checked("mnuPanelZoomToFit"));
    EXPECT_FALSE(Enabled("mnuPanelRange"));

    ClickPicture(range);
    EXPECT_TRUE(Checked("mnuPanelZoomToFit"));
    EXPECT_TRUE(Enabled("mnuPanelRange"));

    // Activated by the window list rather than by a click: the same.
    Window()->mdiArea()->setActiveSubWindow(chart->SubWindow());
    EXPECT_FALSE(Enabled("mnuPanelRange"));
    EXPECT_TRUE(Checked("mnuPanelCrop"));
}

TEST_F(PanelFrameTest, ActivatingAScrolledCropPanelKeepsItsPicture) {
    frmPanel* panel = StartAndPasteRange();
    ASSERT_TRUE(panel);
    const QSize picture = panel->picTemp()->Picture().size();
    SetClientPixels(panel, picture.width() / 2, picture.height() / 2);
    QCoreApplication::processEvents();
    panel->HScroll1()->setValue(panel->HScroll1()->maximum());
    panel->VScroll1()->setValue(panel->VScroll1()->maximum());
    const QRect scrolled = panel->picPanel()->geometry();
    ASSERT_LT(scrolled.x(), 0);

    ASSERT_TRUE(StartAndPasteRange());
    Window()->mdiArea()->setActiveSubWindow(panel->SubWindow());
    EXPECT_EQ(Window()->mdiArea()->activeSubWindow(), panel->SubWindow());
    EXPECT_EQ(panel->picPanel()->geometry(), scrolled);
}
