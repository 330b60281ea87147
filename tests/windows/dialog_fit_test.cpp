// Every dialog, filled and shown as the program shows it, at the normal font and at one half
// again as large: no text is cut and no empty band is left.

#include "DialogFit.h"
#include "WindowTestSupport.h"

#include "MaildirFixture.h"
#include "platform/mail/MailStore.h"
#include "ui/MailFolderDialog.h"
#include "services/modUtilsINI.h"
#include "sharing/frmAddAltPath.h"
#include "sharing/frmAltPaths.h"
#include "sharing/frmExport.h"
#include "sharing/frmPublish.h"
#include "windows/frmAbout.h"
#include "windows/frmCaption.h"
#include "windows/frmDrillback.h"
#include "windows/frmLogin.h"
#include "windows/frmOpenWorkspace.h"
#include "windows/frmOptions.h"
#include "windows/frmPanelProperties.h"
#include "windows/frmRangeRelative.h"
#include "windows/frmSaveWorkspace.h"
#include "windows/frmTip.h"

class DialogFitTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        source_ = AddSource(InFolder(QStringLiteral("Sales.xlsx")));
        AddPanel(AddDashboard(QStringLiteral("Sales report")), source_, QStringLiteral("report-2026-01"));
        AddDashboard(QStringLiteral("Finance"), 120);  // used before the other, so not opened
        StartWindow();
        ASSERT_EQ(gWorkspace->NumPanels(), 1);
    }
    void SetUpdateType(const char* type) {
        clsPanelSource* source = gSources->Source(source_);
        ASSERT_TRUE(source);
        source->UpdateType = QLatin1String(type);
        source->OLFolder = QStringLiteral("Reports`Reports");
        source->OLSubject = QStringLiteral("Weekly sales");
    }
    int32_t source_ = 0;
};

TEST_F(DialogFitTest, DashboardDialogsFitTheirTexts) {
    AtBothFontSizes([] {
        for (const char* operation : {"", "Copy"})
            ExpectShownDialogFits(std::string("frmOpenWorkspace ") + operation, [operation] {
                frmOpenWorkspace dialog;
                dialog.Operation = QLatin1String(operation);
                dialog.Show();
            });
        for (const char* mode : {"SaveAs", "Rename"})
            ExpectShownDialogFits(std::string("frmSaveWorkspace ") + mode, [mode] {
                frmSaveWorkspace dialog;
                dialog.Mode = QLatin1String(mode);
                dialog.Show();
            });
        ExpectShownDialogFits("frmOptions", [] { frmOptions dialog; dialog.Show(); });
        ExpectShownDialogFits("frmLogin", [] {
            frmLogin dialog;
            dialog.CurrMode = QStringLiteral("switch");
            dialog.Show();
        });
        ExpectShownDialogFits("frmTip", [] { frmTip dialog; dialog.exec(); });
        ExpectShownDialogFits("frmAbout", [] { frmAbout dialog; dialog.exec(); });
    });
}

// The File Updates dialog shows one frame or none by update type: its height follows, so no
// band is left where a hidden frame would be.
TEST_F(DialogFitTest, PanelDialogsFitTheirTexts) {
    AtBothFontSizes([this] {
        for (const char* type : {"folder", "inbox", "refresh", "default"}) {
            SetUpdateType(type);
            ExpectShownDialogFits(std::string("frmPanelProperties ") + type, [] {
                frmPanelProperties dialog;
                dialog.Index = 1;
                dialog.Show();
            });
        }
        ExpectShownDialogFits("frmRangeRelative", [] {
            frmRangeRelative dialog;
            dialog.Index = 1;
            dialog.Show();
        });
        ExpectShownDialogFits("frmCaption", [] {
            frmCaption dialog;
            dialog.Index = 1;
            dialog.Show();
        });
        ExpectShownDialogFits("frmDrillback", [this] {
            frmDrillback dialog;
            dialog.SourceID = source_;
            dialog.SheetName = QStringLiteral("Data");
            dialog.Show();
        });
    });
}

TEST_F(DialogFitTest, SharingAndMailDialogsFitTheirTexts) {
    const mail::Store store(testsupport::SharedMaildirRoot());
    AtBothFontSizes([&store] {
        ExpectShownDialogFits("frmPublish", [] { frmPublish dialog; dialog.Show(); }, true);
        ExpectShownDialogFits("frmExport", [] { frmExport dialog; dialog.Show(); }, true);
        ExpectShownDialogFits("frmAltPaths", [] { frmAltPaths dialog; dialog.Show(); }, true);
        ExpectShownDialogFits("frmAddAltPath", [] { frmAddAltPath dialog; (void)dialog.Show(); });
        ExpectShownDialogFits("MailFolderDialog", [&store] {
            MailFolderDialog dialog(store.Folders());
            dialog.exec();
        }, true);
    });
}
