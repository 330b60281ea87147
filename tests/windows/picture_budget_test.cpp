// What a dashboard's pictures may take, whoever made the dashboard (the rows here are written
// as an imported shared file leaves them): a panel larger than a screen can show is refused
// with a message before anything is painted, read or cached; the pictures of one dashboard stay
// within its budget together; a stored window size no screen shows is cut to one; pictures
// painted side by side wait for room rather than exceed theirs.

#include "WindowTestSupport.h"

#include "windows/PictureBox.h"
#include "windows/PictureBudget.h"

#include <QImage>

#include <functional>

namespace {

QString PanelPicture(int32_t panelID) { return GetPanelsFolder() + QString::number(panelID) + QStringLiteral(".bmp"); }

}  // namespace

class PictureBudgetTest : public WindowTest {
protected:
    // A stored panel of the given content type and view type over `source`.
    static int32_t AddPanelOf(int32_t workspace, int32_t source, const char* type, const QString& sheet,
                              const QString& what, const QString& caption, const char* view = "A",
                              int32_t width = 3000, int32_t height = 1500) {
        gDB->Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, ContentType, IsCustom, "
                                    "SheetName, PicRange, [Left], [Top], Width, Height, ViewType, Caption) "
                                    "VALUES (?, ?, ?, 'N', ?, ?, 0, 0, ?, ?, ?, ?)"),
                     {workspace, source, QString::fromLatin1(type), sheet, what, width, height,
                      QString::fromLatin1(view), caption});
        return static_cast<int32_t>(gDB->LastInsertId());
    }
    // A picture file of one colour, `size` large.
    QString WritePicture(const QString& name, const QSize& size) const {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const QString path = InFolder(name);
        EXPECT_TRUE(picture.save(path, "PNG"));
        return path;
    }
    // The pictures the windows hold: each one's picture, and the shown one where it is a copy.
    static int64_t HeldPixels(frmWorkspace* window) {
        int64_t held = 0;
        for (frmPanel* panel : window->PanelWindows()) {
            const QImage picture = panel->picTemp()->Picture(), shown = panel->picPanel()->Picture();
            held += PictureBudget::Pixels(picture.size()) + panel->picPanel()->DrawingPixels();
            if (shown.cacheKey() != picture.cacheKey())
                held += PictureBudget::Pixels(shown.size());
        }
        return held;
    }
    static QString DeletionOffer(const QString& caption) {
        return QStringLiteral("Unable to load panel with caption '") + caption +
               QStringLiteral("'\nDelete this panel from dashboard?");
    }
};

// Each kind of panel: refused as the dashboard opens, with its size and the limit said, then
// offered for deletion (kept here); nothing painted, cached or shown.
TEST_F(PictureBudgetTest, APanelLargerThanAScreenIsRefused) {
    QFile::copy(FixtureWorkbookFolder() + QStringLiteral("/WideChart.xlsx"), InFolder(QStringLiteral("WideChart.xlsx")));
    const QString wide = WritePicture(QStringLiteral("wide.png"), QSize(8000, 10));
    struct Case {
        const char* name;
        const char* type;
        QString file, sheet, what;
        QString refusal;
    };
    const QString limit = QStringLiteral(", larger than a screen can show (at most 7680 pixels wide or tall, and "
                                         "33.2 megapixels in all). Choose a smaller range.");
    const Case cases[] = {
        {"range", "S", InFolder(QStringLiteral("Sales.xlsx")), QStringLiteral("Data"), QStringLiteral("A1:EZ990``"),
         QStringLiteral("The picture of Data!A1:EZ990 would be 9673 x 19801 pixels") + limit},
        {"chart", "C", InFolder(QStringLiteral("WideChart.xlsx")), QStringLiteral("Data"), QStringLiteral("Chart 1"),
         // 260 cm by 7.5 cm, as Calc shows it on a sheet of default columns at 96 dpi.
         QStringLiteral("The picture of the chart Chart 1 would be 9491 x 284 pixels") + limit},
        {"picture file", "P", wide, QString(), QString(),
         QStringLiteral("The picture of ") + wide + QStringLiteral(" would be 8000 x 10 pixels") + limit},
    };
    for (const Case& c : cases) {
        const int32_t id = AddDashboard(QString::fromLatin1(c.name), -int(&c - cases));  // the last made is opened
        const int32_t panel = AddPanelOf(id, AddSource(c.file), c.type, c.sheet, c.what, QStringLiteral("Big"));
        PromptScript::Reset();
        StartWindow();
        EXPECT_EQ(PromptScript::Messages(), (QStringList{c.refusal, DeletionOffer(QStringLiteral("Big"))})) << c.name;
        EXPECT_TRUE(Window()->PanelWindows().empty()) << c.name;
        EXPECT_FALSE(QFile::exists(PanelPicture(panel))) << c.name;
        EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM DsbSavedPanel WHERE ID = ?"), {panel}), 1) << c.name;
        EXPECT_TRUE(LogText().contains(c.refusal)) << c.name;
        delete Window();
    }
}

// Four panels of an 8K screen's picture each: three fit in the dashboard's budget; the fourth,
// loaded last (records load from the last to the first), is refused and the others are kept.
TEST_F(PictureBudgetTest, ADashboardsPicturesStayWithinItsBudget) {
    const QSize screen(PictureBudget::kMaxSide, int(PictureBudget::kMaxPixels / PictureBudget::kMaxSide));
    const QString first = WritePicture(QStringLiteral("screen.png"), screen);
    const int32_t id = AddDashboard(QStringLiteral("Screens"));
    QStringList captions;
    for (int i = 1; i <= 4; ++i) {
        const QString file = InFolder(QStringLiteral("screen%1.png").arg(i));
        QFile::copy(first, file);
        captions << QStringLiteral("Screen %1").arg(i);
        AddPanelOf(id, AddSource(file), "P", QString(), QString(), captions.back());
    }
    StartWindow();
    const QString refusal = QStringLiteral("The picture of ") + InFolder(QStringLiteral("screen1.png")) +
                            QStringLiteral(" (7680 x 4320 pixels) does not fit beside the other panels of this "
                                           "dashboard: together they would hold more than 125 megapixels of "
                                           "pictures (500 MB). Show smaller ranges, or put some panels on another "
                                           "dashboard.");
    EXPECT_EQ(PromptScript::Messages(), (QStringList{refusal, DeletionOffer(captions[0])}));
    EXPECT_EQ(PanelTitles(), (QStringList{captions[3], captions[2], captions[1]}));
    EXPECT_EQ(HeldPixels(Window()), 3 * PictureBudget::Pixels(screen));
    EXPECT_LE(HeldPixels(Window()), PictureBudget::kDashboardPixels);
}

// A zoomed panel whose stored window no screen shows: the window is cut to a screen's size, and
// so is the zoomed copy of its picture.
TEST_F(PictureBudgetTest, AStoredWindowNoScreenShowsIsCutToOne) {
    const int32_t id = AddDashboard(QStringLiteral("Huge window"));
    AddPanelOf(id, AddSource(InFolder(QStringLiteral("Sales.xlsx"))), "S", QStringLiteral("Data"),
               QStringLiteral("A1:C4``"), QStringLiteral("Zoomed"), "Z", 2'000'000, 2'000'000);
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), 1u) << PromptScript::Messages().join('\n').toStdString();
    const frmPanel* panel = Window()->PanelWindows()[0];
    const QSize frame = panel->Frame()->size();
    EXPECT_LE(frame.width(), PictureBudget::kMaxSide);
    EXPECT_LE(frame.height(), PictureBudget::kMaxSide);
    EXPECT_LE(PictureBudget::Pixels(frame), PictureBudget::kMaxPixels);
    // The zoomed copy: the window's size.
    EXPECT_GT(HeldPixels(Window()), PictureBudget::Pixels(panel->picTemp()->Picture().size()));
    EXPECT_LE(HeldPixels(Window()), PictureBudget::kMaxPixels + PictureBudget::Pixels(panel->picTemp()->Picture().size()));
}

// Room for pictures being painted: taken while there is some, waited for (the caller's wait
// running) while there is none, given back when a picture is done with. A picture larger than
// the whole room gets it alone.
TEST(PaintingRoom, PicturesWaitForRoomAndNeverHoldMoreThanIt) {
    using PictureBudget::PaintingRoom;
    ASSERT_EQ(PaintingRoom::InUse(), 0);
    const int64_t third = PictureBudget::kPaintingPixels / 3;
    std::vector<std::shared_ptr<PaintingRoom>> held;
    int waits = 0;
    auto noWait = [&] { ++waits; };
    held.push_back(PaintingRoom::Take(third, noWait));
    held.push_back(PaintingRoom::Take(third, noWait));
    held.push_back(PaintingRoom::Take(third, noWait));
    EXPECT_EQ(waits, 0);
    EXPECT_EQ(PaintingRoom::InUse(), 3 * third);
    // Full: the next waits until a picture is done with, and the room never holds more.
    int64_t most = 0;
    auto fourth = PaintingRoom::Take(third, [&] {
        most = std::max(most, PaintingRoom::InUse());
        if (++waits == 3)
            held.erase(held.begin());
    });
    EXPECT_EQ(waits, 3);
    EXPECT_LE(most, PictureBudget::kPaintingPixels);
    EXPECT_EQ(PaintingRoom::InUse(), 3 * third);
    held.clear();
    fourth.reset();
    EXPECT_EQ(PaintingRoom::InUse(), 0);
    auto alone = PaintingRoom::Take(2 * PictureBudget::kPaintingPixels, noWait);
    EXPECT_EQ(PaintingRoom::InUse(), 2 * PictureBudget::kPaintingPixels);
    alone.reset();
    EXPECT_EQ(PaintingRoom::InUse(), 0);
}
