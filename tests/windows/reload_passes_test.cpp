// Every way of reloading panels after a newer version of their workbook arrived: opening the
// dashboard, Dashboard > Refresh, Panel > Refresh and the periodic pass. Each reads the newer
// version once, however many panels show it (the kernel counts the opens of the file), and
// shows in every panel it repaints the picture of that version, its range located again.

#include "WindowTestSupport.h"

#include "platform/workbook/CopyPicture.h"
#include "services/modUtilsFile.h"
#include "windows/PictureBox.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>

namespace {

// The opens of one file, by anyone in this process, as the kernel reports them for its folder.
// Opens and closes alternate in the queue, so the kernel never merges two opens into one.
class FileOpens {
public:
    explicit FileOpens(const QString& path) : name_(QFileInfo(path).fileName().toLocal8Bit()) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0)
            watch_ = inotify_add_watch(fd_, QFile::encodeName(QFileInfo(path).path()).constData(),
                                       IN_OPEN | IN_CLOSE);
    }
    ~FileOpens() {
        if (fd_ >= 0)
            close(fd_);
    }
    bool Watching() const { return watch_ >= 0; }
    // The opens since the last call.
    int Take() {
        int opens = 0;
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t length = read(fd_, buffer, sizeof buffer);
            if (length <= 0)
                return opens;
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & IN_OPEN) && event->len > 0 && name_ == event->name)
                    ++opens;
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
    }

private:
    QByteArray name_;
    int fd_ = -1;
    int watch_ = -1;
};

}  // namespace

class ReloadRoadTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        book_ = InFolder(QStringLiteral("Sales.xlsx"));
        versions_[0] = testsupport::ReadBytes(book_);
        versions_[1] = testsupport::ReadBytes(FixtureWorkbookFolder() + QStringLiteral("/SalesNewer.xlsx"));
        stamp_ = QDateTime::currentDateTime().addSecs(-3600);
        ASSERT_TRUE(AdjustFileTime(book_, stamp_));
        const int32_t source = AddSource(book_);
        gDB->Execute(QStringLiteral("UPDATE DsbPanelSource SET LastChecked = ? WHERE ID = ?"), {stamp_, source});
        const int32_t id = AddDashboard(QStringLiteral("Sales"));
        // As pasted: each range follows the sheet's last used cell, C5 in the first version and
        // three rows further down in the newer one.
        for (int i = 0; i < int(std::size(kRanges)); ++i) {
            ids_.push_back(AddPanel(id, source, QStringLiteral("Panel %1").arg(i + 1), 3200 * i, 0));
            gDB->Execute(QStringLiteral("UPDATE DsbSavedPanel SET PicRange = ?, RelativeTo = 'bottom', "
                                        "ContentMatch = 'bottom=$C$5' WHERE ID = ?"),
                         {QString::fromLatin1(kRanges[i]) + QStringLiteral("``"), ids_.back()});
        }
    }

    // Version 0 or 1 of the workbook arrives: written over the file in place, with a later time.
    void Arrive(int version) {
        testsupport::WriteBytes(book_, versions_[version]);
        stamp_ = stamp_.addSecs(60);
        ASSERT_TRUE(AdjustFileTime(book_, stamp_));
        version_ = version;
    }
    // The picture of panel i as that version shows it: its range three rows down in the newer.
    // Unless `moved` is false: the range where it was stored.
    QImage Expected(int version, int i, bool moved = true) const {
        xl::Application app;
        xl::Worksheet* sheet = app.Workbooks().Open(VersionFile(version))->Sheets().Item(QStringLiteral("Data"));
        const xl::RangeRef range = *xl::ParseRange(QString::fromLatin1(kRanges[i]));
        const int down = moved ? 3 * version : 0;
        return xl::RangePicture(
                   sheet->Range(xl::FormatAddress(xl::RangeRef{range.row1 + down, range.col1, range.row2 + down, range.col2})))
            .convertToFormat(QImage::Format_RGB32);
    }
    // Each version as a file of its own, to paint the expected pictures from.
    QString VersionFile(int version) const { return InFolder(QStringLiteral("versions/Sales%1.xlsx").arg(version)); }
    void KeepVersionsApart() const {
        QDir().mkpath(InFolder(QStringLiteral("versions")));
        for (int v = 0; v < 2; ++v)
            testsupport::WriteBytes(VersionFile(v), versions_[v]);
    }
    frmPanel* PanelOf(int i) const {
        for (frmPanel* panel : Window()->PanelWindows())
            if (const clsWorkspacePanel* r = gWorkspace->Panels(panel->Index); r && r->ID == ids_[size_t(i)])
                return panel;
        return nullptr;
    }
    static QImage Shown(const frmPanel* panel) {
        return panel ? panel->picTemp()->Picture().convertToFormat(QImage::Format_RGB32) : QImage();
    }

    static constexpr const char* kRanges[] = {"A1:C4", "A2:C5", "B1:C5", "A1:B3"};
    QString book_;
    QByteArray versions_[2];
    QDateTime stamp_;
    int version_ = 0;
    std::vector<int32_t> ids_;
};

TEST_F(ReloadRoadTest, EveryWayOfReloadingReadsANewerVersionOnceForAllItsPanels) {
    KeepVersionsApart();
    FileOpens opens(book_);
    ASSERT_TRUE(opens.Watching()) << "inotify is not available";
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), std::size(kRanges)) << PromptScript::Messages().join('\n').toStdString();
    for (int i = 0; i < int(std::size(kRanges)); ++i)
        ASSERT_EQ(Shown(PanelOf(i)), Expected(0, i)) << kRanges[i];
    gRefreshFrequency = 0;  // every tick a pass

    struct Way {
        const char* name;
        int version;        // the version that arrives before it; -1 none
        bool everyPanel;    // repaints every panel, or only the active one
        std::function<void()> run;
    };
    const Way ways[] = {
        {"periodic pass, nothing new", -1, true, [this] { Window()->timerRefresh_Timer(); }},
        {"periodic pass", 1, true, [this] { Window()->timerRefresh_Timer(); }},
        {"Dashboard > Refresh", 0, true, [this] { Click("mnuWorkspaceRefresh"); }},
        {"Panel > Refresh", 1, false,
         [this] {
             Window()->mdiArea()->setActiveSubWindow(PanelOf(2)->SubWindow());
             Click("mnuPanelRefresh");
         }},
        {"open the dashboard", 0, true,
         [this] {
             delete Window();
             StartWindow();
         }},
    };
    for (const Way& way : ways) {
        std::vector<QImage> before;
        for (int i = 0; i < int(std::size(kRanges)); ++i)
            before.push_back(Shown(PanelOf(i)));
        if (way.version >= 0)
            Arrive(way.version);
        (void)opens.Take();
        way.run();
        EXPECT_EQ(opens.Take(), way.version >= 0 ? 1 : 0) << way.name;
        EXPECT_TRUE(PromptScript::Messages().isEmpty()) << way.name << PromptScript::Messages().join('\n').toStdString();
        ASSERT_EQ(Window()->PanelWindows().size(), std::size(kRanges)) << way.name;
        for (int i = 0; i < int(std::size(kRanges)); ++i) {
            const frmPanel* panel = PanelOf(i);
            ASSERT_TRUE(panel) << way.name;
            EXPECT_FALSE(panel->PicturePending()) << way.name;
            const bool repainted = way.version >= 0 && (way.everyPanel || i == 2);
            EXPECT_EQ(Shown(panel), repainted ? Expected(version_, i) : before[size_t(i)]) << way.name << ", " << kRanges[i];
        }
    }
}

// Ranges stored to stay where they are have nothing to be located again in a newer version: the
// pass reads it once, to paint them from.
TEST_F(ReloadRoadTest, RangesThatStayWhereTheyAreReadANewerVersionOnceToo) {
    gDB->Execute(QStringLiteral("UPDATE DsbSavedPanel SET RelativeTo = 'top', ContentMatch = ''"));
    KeepVersionsApart();
    FileOpens opens(book_);
    ASSERT_TRUE(opens.Watching()) << "inotify is not available";
    StartWindow();
    ASSERT_EQ(Window()->PanelWindows().size(), std::size(kRanges)) << PromptScript::Messages().join('\n').toStdString();
    gRefreshFrequency = 0;
    Arrive(1);
    (void)opens.Take();
    Window()->timerRefresh_Timer();
    EXPECT_EQ(opens.Take(), 1);
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join('\n').toStdString();
    for (int i = 0; i < int(std::size(kRanges)); ++i)
        EXPECT_EQ(Shown(PanelOf(i)), Expected(1, i, false)) << kRanges[i];
}

// The periodic pass is one the user may work beside: the arrow with the hourglass shows while
// it runs, and the window's events come in; Dashboard > Refresh shows the hourglass.
TEST_F(ReloadRoadTest, ThePeriodicPassShowsTheArrowWithTheHourglass) {
    KeepVersionsApart();
    StartWindow();
    gRefreshFrequency = 0;
    struct Case {
        const char* name;
        Qt::CursorShape pointer;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"periodic pass", Qt::BusyCursor, [this] { Window()->timerRefresh_Timer(); }},
        {"Dashboard > Refresh", Qt::WaitCursor, [this] { Click("mnuWorkspaceRefresh"); }},
    };
    for (const Case& c : cases) {
        Arrive(1 - version_);
        std::vector<Qt::CursorShape> seen;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (Window()->IsPassRunning())
                seen.push_back(QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape()
                                                                 : Qt::ArrowCursor);
        });
        probe.start(0);
        c.run();
        probe.stop();
        ASSERT_FALSE(seen.empty()) << c.name << ": the window's events did not come in during the pass";
        for (const Qt::CursorShape shape : seen)
            EXPECT_EQ(shape, c.pointer) << c.name;
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << c.name;
        EXPECT_EQ(Shown(PanelOf(0)), Expected(version_, 0)) << c.name;
    }
}
