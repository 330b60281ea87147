// Publishing up to the workbook: the refusal of an empty dashboard, the template's name, the
// template choice, the copy of the chosen template, and a failed capture.

#include "SharingTestSupport.h"

#include "PublishTemplates.h"
#include "services/modUtilsFile.h"
#include "sharing/frmPublish.h"
#include "sharing/modPublish.h"
#include "services/DesktopLaunch.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QString kNoTemplate = QStringLiteral(
    "Template does not exist for this dashboard.\nYou will need to set up a template for it.");

}  // namespace

class PublishTest : public SharingTest {
protected:
    void SetUp() override {
        SharingTest::SetUp();
        templates_ = GetTemplatesFolder();
        ASSERT_FALSE(templates_.isEmpty());
        testsupport::MakePublishTemplates(templates_);
        DesktopLaunch::ResetScript();
    }
    void TearDown() override {
        DesktopLaunch::ResetScript();
        SharingTest::TearDown();
    }
    // A capture that paints a known picture and counts its calls.
    std::function<bool(QPixmap*)> Capture() {
        return [this](QPixmap* picture) {
            ++captures_;
            QPixmap p(120, 60);
            p.fill(Qt::blue);
            *picture = p;
            return true;
        };
    }
    // The workbooks shown by a publication are written to the documents folder of this home.
    QTemporaryDir home_;
    testsupport::HomeGuard homeGuard_{home_.path()};
    QString templates_;
    int captures_ = 0;
};

TEST_F(PublishTest, TemplateNameStaysInTheTemplatesFolder) {
    EXPECT_EQ(TemplatePathFor("  Sales  "), templates_ + "Sales.xlsx");
    EXPECT_EQ(TemplatePathFor("North/South"), templates_ + "North_South.xlsx");
    EXPECT_EQ(TemplatePathFor("../../etc/x"), templates_ + ".._.._etc_x.xlsx");
    EXPECT_EQ(QFileInfo(TemplatePathFor("../../etc/x")).absolutePath() + "/", templates_);
}

TEST_F(PublishTest, DashboardWithoutPanelsIsRefusedBeforeAnythingElse) {
    PublishWorkspace("Sales", 0, Capture());
    EXPECT_EQ(PromptScript::Messages(), QStringList{"There are no panels on this dashboard to publish."});
    EXPECT_EQ(KindsShown(), QStringList{"msgbox"});
    EXPECT_EQ(captures_, 0);
}

TEST_F(PublishTest, ChoosingNoTemplateCancelOrAMissingFileStopsWithoutATemplate) {
    PromptScript::QueueDialog("frmPublish", "cancel");
    PublishWorkspace("Sales", 2, Capture());
    EXPECT_EQ(PromptScript::Messages(), QStringList{kNoTemplate});
    EXPECT_EQ(KindsShown(), (QStringList{"msgbox", "frmPublish"}));
    EXPECT_EQ(captures_, 0);

    PromptScript::Reset();
    PromptScript::QueueDialog("frmPublish", templates_ + "gone.xlsx");
    PublishWorkspace("Sales", 2, Capture());
    EXPECT_EQ(PromptScript::Messages().last(),
              "Selected template [" + templates_ + "gone.xlsx] does not exist.  Unable to continue publishing.");
    EXPECT_EQ(captures_, 0);

    PromptScript::Reset();
    PromptScript::QueueDialog("frmPublish", templates_ + "macro.xlsm");
    PublishWorkspace("Sales", 2, Capture());
    EXPECT_EQ(PromptScript::Messages().last(),
              "Selected template [" + templates_ + "macro.xlsm] is not an .xlsx workbook.  Unable to continue publishing.");
    EXPECT_FALSE(FileExists(TemplatePathFor("Sales")));
    EXPECT_EQ(captures_, 0);
}

// The real boxes and the real template dialog, answered as a user answers them: OK on the
// "no template" box, then Escape (or the close box) in the template dialog. Either must stop
// the publication as Cancel does, with nothing captured, copied or shown.
TEST_F(PublishTest, EscapeOrTheCloseBoxInTheTemplateDialogCancels) {
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Escape");
        PromptScript::Disable();
        int dialogsLeft = 0;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->accept();
            } else if (auto* dialog = qobject_cast<frmPublish*>(modal)) {
                ++dialogsLeft;
                if (closeBox) {
                    dialog->close();
                } else {
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(dialog, &escape);
                }
            }
        });
        answer.start(20);
        PublishWorkspace("Sales", 2, Capture());
        answer.stop();
        PromptScript::Enable();
        EXPECT_EQ(dialogsLeft, 1);
        EXPECT_EQ(captures_, 0);
        EXPECT_TRUE(DesktopLaunch::Requests().isEmpty());
        EXPECT_FALSE(FileExists(TemplatePathFor("Sales")));
    }
}

TEST_F(PublishTest, PickedTemplateBecomesTheDashboardsTemplate) {
    // A template without a placeholder is copied and never written to.
    PromptScript::QueueDialog("frmPublish", templates_ + "missing_sheet.xlsx");
    PublishWorkspace(" North/South ", 1, Capture());
    const QString made = templates_ + "North_South.xlsx";
    ASSERT_TRUE(FileExists(made));
    EXPECT_EQ(testsupport::ReadBytes(made),
              testsupport::ReadBytes(templates_ + "missing_sheet.xlsx"));
    EXPECT_EQ(captures_, 1);

    // The next publication finds it and asks nothing.
    PromptScript::Reset();
    PublishWorkspace("North/South", 1, Capture());
    EXPECT_FALSE(KindsShown().contains("frmPublish"));
    EXPECT_FALSE(PromptScript::Messages().contains(kNoTemplate));
    EXPECT_EQ(captures_, 2);
}

TEST_F(PublishTest, FailedCaptureIsReportedAndGoesNoFurther) {
    PromptScript::QueueDialog("frmPublish", "");
    PublishWorkspace("Sales", 1, [](QPixmap*) { return false; });
    EXPECT_EQ(PromptScript::Messages(),
              (QStringList{kNoTemplate, "Unable to publish dashboard.  Please close Sheetbeacon and restart it."}));
    EXPECT_TRUE(LogText().contains("Unable to copy form contents to publish."));
}

TEST_F(PublishTest, TemplateDialogListsWorkbooksAfterNone) {
    QFile::copy(templates_ + "no_info.xlsx", templates_ + "UPPER.XLSX");
    frmPublish dialog;
    dialog.Form_Load();
    dialog.Form_Activate();
    QStringList items;
    for (int i = 0; i < dialog.list()->count(); ++i)
        items << dialog.list()->item(i)->text();
    EXPECT_EQ(items, (QStringList{"<none>", "bad_address.xlsx", "macro.xlsm", "missing_sheet.xlsx",
                                  "no_info.xlsx", "placeholder.xlsx", "UPPER.XLSX"}));
    EXPECT_EQ(dialog.list()->currentRow(), 0);
    dialog.cmdOK_Click();
    EXPECT_EQ(dialog.TemplateFile, QString());

    frmPublish chosen;
    chosen.Form_Load();
    chosen.Form_Activate();
    chosen.list()->setCurrentRow(5);
    chosen.cmdOK_Click();
    EXPECT_EQ(chosen.TemplateFile, templates_ + "placeholder.xlsx");

    frmPublish none;
    none.Form_Load();
    none.Form_Activate();
    none.list()->clearSelection();
    none.list()->setCurrentRow(-1);
    none.cmdOK_Click();
    EXPECT_EQ(PromptScript::Messages(), QStringList{"Must select a template for publishing."});
    none.cmdCancel_Click();
    EXPECT_EQ(none.TemplateFile, "cancel");
}
