// The periodic refresh, driven tick by tick through the timer's handler. A source no panel
// uses tells whether a pass ran: only a pass starts a new update pass and clears its flags.

#include "WindowTestSupport.h"

#include "services/modMain.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

class PeriodicRefreshTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        kept_ = gRefreshFrequency;
        const int32_t used = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        sentinel_ = AddSource(InFolder(QStringLiteral("Unused.xlsx")));
        const int32_t id = AddDashboard(QStringLiteral("Sales"));
        AddPanel(id, used, QStringLiteral("Revenue"));
    }
    void TearDown() override {
        gRefreshFrequency = kept_;
        WindowTest::TearDown();
    }
    void Arm() const {
        clsPanelSource* s = gSources->Source(sentinel_);
        s->IsUpdated = true;
        s->IsChecked = true;
    }
    bool PassRan() const {
        const clsPanelSource* s = gSources->Source(sentinel_);
        return !s->IsUpdated && !s->IsChecked;
    }
    // Ticks until a pass runs (re-arming after none); the tick number, 0 when none in `limit`.
    int TicksToPass(int limit) {
        Arm();
        for (int tick = 1; tick <= limit; ++tick) {
            Window()->timerRefresh_Timer();
            if (PassRan())
                return tick;
        }
        return 0;
    }
    int32_t sentinel_ = 0;
    int16_t kept_ = 10;
};

TEST_F(PeriodicRefreshTest, APassComesEveryFrequencyPlusOneTicks) {
    gRefreshFrequency = 10;
    StartWindow();
    ASSERT_TRUE(gSources->Source(sentinel_));
    EXPECT_EQ(TicksToPass(30), 11);
    EXPECT_EQ(TicksToPass(30), 11);
    EXPECT_FALSE(Window()->IsBusy());
    EXPECT_EQ(Window()->PanelWindows().size(), 1u);
    auto* timer = Window()->findChild<QTimer*>(QStringLiteral("timerRefresh"));
    ASSERT_TRUE(timer);
    EXPECT_EQ(timer->interval(), 60000);
    EXPECT_TRUE(timer->isActive());
}

TEST_F(PeriodicRefreshTest, FrequencyOneRunsEverySecondTick) {
    gRefreshFrequency = 1;
    StartWindow();
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(TicksToPass(5), 2) << round;
}

TEST_F(PeriodicRefreshTest, ABusyModalDialogSkipsThePassAndRestartsTheCount) {
    gRefreshFrequency = 2;
    StartWindow();
    Arm();
    Window()->timerRefresh_Timer();
    Window()->timerRefresh_Timer();
    // The third tick reaches the count while About is open.
    bool busyMeanwhile = false;
    QTimer::singleShot(0, Window(), [&] {
        busyMeanwhile = Window()->IsBusy();
        Window()->timerRefresh_Timer();
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    PromptScript::Disable();
    Click("mnuHelpAbout");
    PromptScript::Enable();
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_FALSE(PassRan());
    EXPECT_FALSE(Window()->IsBusy());
    // Not made up: the next pass is a full count later.
    EXPECT_EQ(TicksToPass(10), 3);
}

TEST_F(PeriodicRefreshTest, LayoutModeRunsNoPass) {
    gRefreshFrequency = 0;
    StartWindow();
    Click("mnuWorkspaceLayout");
    ASSERT_TRUE(Window()->EditMode);
    EXPECT_EQ(TicksToPass(5), 0);
    Click("mnuWorkspaceLayout");
    EXPECT_EQ(TicksToPass(5), 1);
}

TEST_F(PeriodicRefreshTest, OptionsRestartTheCount) {
    gRefreshFrequency = 3;
    StartWindow();
    Arm();
    Window()->timerRefresh_Timer();
    Window()->timerRefresh_Timer();
    Click("mnuToolsOptions");  // cancelled: the count restarts all the same
    EXPECT_EQ(TicksToPass(10), 4);
}

TEST_F(PeriodicRefreshTest, ANegativeFrequencyNeverRunsAPass) {
    gRefreshFrequency = -5;
    StartWindow();
    EXPECT_EQ(TicksToPass(33000), 0);
    EXPECT_FALSE(Window()->IsBusy());
}
