// The view types of a panel window, crop mode's scroll bars, its title, and the mouse.

#include "PanelTestSupport.h"

#include "services/modUtilsFile.h"
#include "windows/TitleCentring.h"

#include <QHash>
#include <QStyleFactory>
#include <QStyleOptionTitleBar>

class PanelViewTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        source_ = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        AddStoredPanel(AddDashboard(QStringLiteral("Board")), source_, QStringLiteral("S"),
                       QStringLiteral("$A$1:$C$5``"), QStringLiteral("A"));
        StartWindow();
        // Shown, as the program shows it, and the panels loaded again into the shown window.
        Window()->show();
        QCoreApplication::processEvents();
        // The first layout in a shown frame is no change of the user's.
        for (frmPanel* panel : Window()->PanelWindows())
            panel->IsDirty = false;
        Click("mnuWorkspaceRefresh");
        QCoreApplication::processEvents();
        const auto open = Window()->PanelWindows();
        ASSERT_EQ(open.size(), 1u) << PromptScript::Messages().join('|').toStdString();
        panel_ = open.front();
        picture_ = panel_->picTemp()->Picture();
        ASSERT_FALSE(picture_.isNull());
        EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('|').toStdString();
    }
    clsWorkspacePanel* Record() const { return gWorkspace->Panels(panel_->Index); }
    QStringList Checked() const {
        QStringList on;
        for (const char* control : {"mnuPanelAutosize", "mnuPanelCrop", "mnuPanelZoomToFit"})
            if (Item(control)->isChecked())
                on << QLatin1String(control);
        return on;
    }
    // Crop mode over a plain picture of w by h pixels in a client area of cw by ch.
    void CropOver(int w, int h, int cw, int ch) {
        Record()->ViewType = PanelView::Crop;
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        panel_->picTemp()->SetPicture(image);
        SetClientPixels(panel_, cw, ch);
        panel_->Panel_Crop();
    }
    bool Shown(QWidget* w) const { return w->isVisibleTo(panel_); }

    int32_t source_ = 0;
    frmPanel* panel_ = nullptr;
    QImage picture_;
};

TEST_F(PanelViewTest, TheThreeViewTypesStartFromTheHeldPicture) {
    EXPECT_EQ(Checked(), QStringList{"mnuPanelAutosize"});
    EXPECT_EQ(panel_->size(), picture_.size());
    EXPECT_EQ(Record()->pWidth, panel_->Width());
    EXPECT_EQ(Record()->pHeight, panel_->Height());
    EXPECT_FALSE(panel_->IsDirty);

    // Autosize: the window can't be resized away from the picture.
    SetClientPixels(panel_, 500, 400);
    EXPECT_EQ(panel_->size(), picture_.size());

    panel_->Panel_Crop();
    EXPECT_EQ(Checked(), QStringList{"mnuPanelCrop"});
    EXPECT_EQ(Record()->ViewType, PanelView::Crop);
    EXPECT_TRUE(panel_->IsDirty);
    SetClientPixels(panel_, 400, 300);
    EXPECT_EQ(panel_->size(), QSize(400, 300));
    EXPECT_EQ(panel_->picPanel()->size(), picture_.size());
    EXPECT_NEAR(panel_->picPanel()->x(), (400 - picture_.width()) / 2.0, 1.0);
    EXPECT_NEAR(panel_->picPanel()->y(), (300 - picture_.height()) / 2.0, 1.0);

    panel_->Panel_ZoomToFit();
    EXPECT_EQ(Checked(), QStringList{"mnuPanelZoomToFit"});
    EXPECT_EQ(panel_->picPanel()->Picture().size(), QSize(400, 300));
    EXPECT_EQ(panel_->picPanel()->pos(), QPoint(0, 0));
    // Resizing a zoomed panel stretches the picture anew.
    SetClientPixels(panel_, 350, 250);
    EXPECT_EQ(panel_->picPanel()->Picture().size(), QSize(350, 250));

    // Back to crop and autosize from the captured picture, never from the stretched drawing.
    panel_->Panel_Crop();
    EXPECT_EQ(panel_->picPanel()->Picture().size(), picture_.size());
    panel_->Panel_Autosize();
    EXPECT_EQ(Checked(), QStringList{"mnuPanelAutosize"});
    EXPECT_EQ(panel_->size(), picture_.size());
    EXPECT_EQ(panel_->picPanel()->Picture(), picture_);
    EXPECT_EQ(panel_->picTemp()->Picture(), picture_);
}

TEST_F(PanelViewTest, CropModeScrollBars) {
    // Exactly the frame's size: at the corner, no bars. Two pixels narrower: centred that way.
    CropOver(300, 200, 300, 200);
    EXPECT_EQ(panel_->picPanel()->pos(), QPoint(0, 0));
    EXPECT_FALSE(Shown(panel_->VScroll1()));
    EXPECT_FALSE(Shown(panel_->HScroll1()));
    CropOver(298, 200, 300, 200);
    EXPECT_EQ(panel_->picPanel()->pos(), QPoint(1, 0));

    const int thick = panel_->HScroll1()->sizeHint().height();
    // Wider, and low enough to leave room for the horizontal bar: that bar only.
    CropOver(400, 200 - thick, 300, 200);
    EXPECT_TRUE(Shown(panel_->HScroll1()));
    EXPECT_FALSE(Shown(panel_->VScroll1()));
    EXPECT_EQ(panel_->picPanel()->x(), 0);

    // Wider, and within a bar's thickness of the frame's height: both bars.
    CropOver(400, 200 - thick + 2, 300, 200);
    ASSERT_TRUE(Shown(panel_->HScroll1()));
    ASSERT_TRUE(Shown(panel_->VScroll1()));
    EXPECT_EQ(panel_->HScroll1()->width(), panel_->picFrame()->width() - panel_->VScroll1()->width());
    EXPECT_GT(panel_->HScroll1()->maximum(), 0);
    panel_->HScroll1()->setValue(panel_->HScroll1()->maximum());
    EXPECT_LE(panel_->picPanel()->x() + 400, panel_->picFrame()->width());

    // A picture longer than 16-bit twips still scrolls to its end.
    CropOver(3000, 100, 300, 200);
    ASSERT_TRUE(Shown(panel_->HScroll1()));
    EXPECT_LE(panel_->HScroll1()->maximum(), 32767);
    EXPECT_GT(panel_->ScrollUnitH(), 1.0);
    panel_->HScroll1()->setValue(panel_->HScroll1()->maximum());
    EXPECT_LE(panel_->picPanel()->x() + 3000, panel_->picFrame()->width());
    panel_->HScroll1()->setValue(0);
    EXPECT_EQ(panel_->picPanel()->x(), 0);
}

TEST_F(PanelViewTest, TitlesWithMarksTimeStampAndCentring) {
    Window()->EditMode = true;
    panel_->IsBase = true;
    panel_->IsMarked = true;
    panel_->SetCaption();
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("*Sales"));
    panel_->IsBase = false;
    panel_->SetCaption();
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("**Sales"));
    // A left click in layout mode toggles the mark; the base panel stays unmarked.
    panel_->picPanel_MouseDown(Qt::LeftButton, Qt::NoModifier, 0, 0);
    EXPECT_FALSE(panel_->IsMarked);
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("Sales"));
    panel_->IsBase = true;
    panel_->picPanel_MouseDown(Qt::LeftButton, Qt::NoModifier, 0, 0);
    EXPECT_FALSE(panel_->IsMarked);
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("*Sales"));
    // A double click in layout mode opens nothing.
    panel_->picPanel_DblClick();
    EXPECT_TRUE(DesktopLaunch::Requests().isEmpty());
    Window()->EditMode = false;
    panel_->SetCaption();
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("Sales"));

    // The time stamp: the time today, the day on another day.
    clsPanelSource* source = gSources->Source(source_);
    source->DestFolder = Folder() + QLatin1Char('/');
    source->NewestFile = QStringLiteral("Sales.xlsx");
    gPanelTimeStamp = true;
    const QDate today = QDate::currentDate();
    ASSERT_TRUE(AdjustFileTime(InFolder(QStringLiteral("Sales.xlsx")), QDateTime(today, QTime(9, 5))));
    panel_->SetCaption();
    EXPECT_EQ(panel_->windowTitle(),
              QStringLiteral("Sales   (09:05 ") + QLocale::system().amText() + QLatin1Char(')'));
    ASSERT_TRUE(AdjustFileTime(InFolder(QStringLiteral("Sales.xlsx")), QDateTime(today.addDays(-1), QTime(21, 5))));
    panel_->SetCaption();
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("Sales   (") +
                                         QLocale::system().toString(today.addDays(-1), QStringLiteral("MMM d")) +
                                         QLatin1Char(')'));
    gPanelTimeStamp = false;

    // Too narrow for the title: no blanks whatever the alignment.
    Record()->ViewType = PanelView::Crop;
    gCaptionAlignment = QStringLiteral("Center");
    SetClientPixels(panel_, 10, 200);
    panel_->SetCaption();
    EXPECT_EQ(panel_->windowTitle(), QStringLiteral("Sales"));
    gCaptionAlignment = QStringLiteral("Left");
}

namespace {

// The columns where the title's text shows in the painted title bar of `frame`, within the
// style's title area: pixels that stand out from the bar's own colour on their row.
std::pair<int, int> ShownTitle(QWidget* frame, QRect* area) {
    QStyleOptionTitleBar option;
    option.initFrom(frame);
    option.text = frame->windowTitle();
    option.titleBarFlags = frame->windowFlags();
    option.subControls = QStyle::SC_All;
    option.rect = QRect(0, 0, frame->width(),
                        frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, frame));
    *area = frame->style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarLabel, frame);
    const QImage painted = frame->grab().toImage();
    int first = -1, last = -1;
    for (int y = area->top() + 2; y < area->bottom() - 1; ++y) {
        // The bar's colour on this row: the one most of the row has.
        QHash<QRgb, int> counts;
        for (int x = area->left(); x <= area->right(); ++x)
            ++counts[painted.pixel(x, y)];
        QRgb bar = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > counts.value(bar))
                bar = it.key();
        const int background = QColor(bar).lightness();
        // The edges are left out: the icon and the buttons' frames reach into the area.
        for (int x = area->left() + 4; x < area->right() - 4; ++x)
            if (qAbs(painted.pixelColor(x, y).lightness() - background) > 60) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
    }
    return {first, last};
}

}  // namespace

// A title with its time stamp in the panel frames' style, over a base style that centres
// titles itself and over one that draws them at the left: "Left" shows the whole title at the
// left of the title area, "Center" shows it centred over the area when the area is a little
// wider than the title or much wider, never cut short.
TEST_F(PanelViewTest, TitlesShowWholeAtTheLeftOrInTheMiddleOfTheTitleArea) {
    Record()->Caption = QStringLiteral("report-2026-01");
    Record()->ViewType = PanelView::Crop;
    clsPanelSource* source = gSources->Source(source_);
    source->DestFolder = Folder() + QLatin1Char('/');
    source->NewestFile = QStringLiteral("Sales.xlsx");
    ASSERT_TRUE(AdjustFileTime(InFolder(QStringLiteral("Sales.xlsx")),
                               QDateTime(QDate::currentDate(), QTime(10, 15))));
    gPanelTimeStamp = true;
    QWidget* frame = panel_->Frame();
    // First the frame as the program made it, in the application's style; then over others.
    for (const char* styleName : {"", "Fusion", "Windows"}) {
        SCOPED_TRACE(*styleName ? styleName : "the program's frame");
        if (*styleName) {
            QStyle* base = QStyleFactory::create(QLatin1String(styleName));
            ASSERT_TRUE(base);
            // Lives as long as the program, so no frame is ever left with a deleted style.
            auto* style = new PanelFrameStyle(base);
            style->setParent(QCoreApplication::instance());
            frame->setStyle(style);
        }
        gCaptionAlignment = QStringLiteral("Left");
        SetClientPixels(panel_, 900, 200);
        panel_->SetCaption();
        QCoreApplication::processEvents();
        QRect area;
        const auto whole = ShownTitle(frame, &area);
        ASSERT_GE(whole.first, 0);
        const int width = whole.second - whole.first;
        // At the left: the title starts within a few blanks of the area's left edge.
        EXPECT_LT(whole.first - area.left(), 32) << "area " << area.left() << ".." << area.right();
        EXPECT_GT(area.right() - whole.second, area.width() / 2);

        gCaptionAlignment = QStringLiteral("Center");
        for (const int spare : {40, 120, 400}) {
            SetClientPixels(panel_, width + (frame->width() - area.width()) + spare, 200);
            panel_->SetCaption();
            QCoreApplication::processEvents();
            const auto shown = ShownTitle(frame, &area);
            ASSERT_GE(shown.first, 0) << spare;
            EXPECT_NEAR(shown.second - shown.first, width, 2) << "cut short with " << spare;
            // Blanks move a title in steps of a few pixels: within two of them of the middle.
            EXPECT_NEAR((shown.first + shown.second) / 2.0, area.left() + area.width() / 2.0, 7)
                << "off centre with " << spare;
        }
    }
    frame->setStyle(PanelFrameStyleInstance());
    gPanelTimeStamp = false;
    gCaptionAlignment = QStringLiteral("Left");
}

TEST_F(PanelViewTest, DoubleClickOpensTheWorkbookOutsideLayoutMode) {
    panel_->picPanel_MouseDown(Qt::LeftButton, Qt::NoModifier, 0, 0);
    EXPECT_FALSE(panel_->IsMarked);
    panel_->picPanel_DblClick();
    EXPECT_EQ(DesktopLaunch::Requests(),
              QStringList{QStringLiteral("open ") + InFolder(QStringLiteral("Sales.xlsx"))});

    // A missing workbook is named in the message; a picture panel opens nothing.
    DesktopLaunch::ResetScript();
    gSources->Source(source_)->NewestFile = QStringLiteral("Gone.xlsx");
    panel_->Panel_Launch();
    EXPECT_EQ(PromptScript::Messages().back(), QStringLiteral("Unable to launch Excel file.  [") +
                                                   InFolder(QStringLiteral("Gone.xlsx")) +
                                                   QStringLiteral("] not found."));
    Record()->ContentType = PanelContent::Picture;
    panel_->Panel_Launch();
    EXPECT_TRUE(DesktopLaunch::Requests().isEmpty());
}
