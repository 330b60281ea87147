// Export into real shared files: what the file holds, the dialog's refusals, and a target that
// never survives a failed export.

#include "SharingTestSupport.h"

#include <QFile>
#include <QFileInfo>

TEST_F(SharingTest, ExportKeepsOnlyTheChosenDashboardWithItsPanelsAndSources) {
    const int32_t sales = AddDashboard(*gDB, "Sales");
    const int32_t stock = AddDashboard(*gDB, "Stock");
    const int32_t s1 = AddSource(*gDB, "/data/s1.xlsx", "folder", "s1*.xlsx", "/dest/");
    const int32_t s2 = AddSource(*gDB, "/data/s2.xlsx", "folder", "s2*.xlsx", "/dest/");
    const int32_t s3 = AddSource(*gDB, "/data/s3.xlsx", "folder", "s3*.xlsx", "/dest/");
    AddPanel(*gDB, sales, s1, "one");
    AddPanel(*gDB, sales, s2, "two");
    AddPanel(*gDB, stock, s3, "three");
    // A panel of the other dashboard without any source must not keep the unused sources.
    AddPanel(*gDB, stock, QVariant(), "loose");
    gDB->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('Secret', 'value')"));
    gDB->Execute(QStringLiteral("INSERT INTO DsbAltPaths VALUES ('/dest/', '/alt/'), ('/x/', '/y/')"));
    gDB->Execute(QStringLiteral("INSERT INTO DsbpanelThresholds(PanelID) VALUES (7)"));
    // The scratch table an import of an earlier version left, with another file's paths.
    gDB->Execute(QStringLiteral("CREATE TABLE TempSources AS SELECT 0 AS NewID, * FROM DsbPanelSource"));
    const QStringList before = Dump(*gDB);

    const QString target = InFolder("out.pvds");
    ASSERT_TRUE(Export({"Sales"}, target));
    EXPECT_TRUE(PromptScript::Messages().isEmpty()) << PromptScript::Messages().join("\n").toStdString();
    auto shared = OpenShared(target);
    EXPECT_EQ(Rows(*shared, "SELECT ID, Name FROM DsbSavedWorkspace"),
              QStringList{QString("%1|Sales").arg(sales)});
    EXPECT_EQ(Rows(*shared, "SELECT Caption FROM DsbSavedPanel ORDER BY ID"),
              (QStringList{"one", "two"}));
    EXPECT_EQ(Rows(*shared, "SELECT ID FROM DsbPanelSource ORDER BY ID"),
              (QStringList{QString::number(s1), QString::number(s2)}));
    EXPECT_EQ(Scalar(*shared, "SELECT count(*) FROM DsbSystem"), 0);
    EXPECT_EQ(Rows(*shared, "SELECT * FROM DsbAltPaths ORDER BY BasePath"),
              (QStringList{"/dest/|/alt/", "/x/|/y/"}));
    EXPECT_EQ(Scalar(*shared, "SELECT count(*) FROM DsbpanelThresholds"), 1);
    EXPECT_FALSE(shared->HasTable("TempSources"));
    // The repository itself is never changed by an export.
    EXPECT_EQ(Dump(*gDB), before);
}

TEST_F(SharingTest, ExportListsByNameUnderIdWhenUnnamedAndPreselectsTheCurrentDashboard) {
    const int32_t unnamed = AddDashboard(*gDB, QVariant());
    AddDashboard(*gDB, "Beta");
    const int32_t alpha = AddDashboard(*gDB, "Alpha");
    gWorkspace->ID = alpha;
    frmExport dialog;
    dialog.Form_Load();
    dialog.Form_Activate();
    QStringList texts, selected;
    for (int i = 0; i < dialog.list()->count(); ++i) {
        texts << dialog.list()->item(i)->text();
        if (dialog.list()->item(i)->isSelected())
            selected << dialog.list()->item(i)->text();
    }
    EXPECT_EQ(texts, (QStringList{QString::number(unnamed), "Alpha", "Beta"}));
    EXPECT_EQ(selected, QStringList{"Alpha"});
    // Back from the alternate paths the current one is selected again, the others kept.
    dialog.list()->item(2)->setSelected(true);
    dialog.list()->item(1)->setSelected(false);
    PromptScript::QueueDialog(QStringLiteral("frmAltPaths"), QVariant());
    dialog.cmdAltPath_Click();
    EXPECT_TRUE(dialog.list()->item(1)->isSelected());
    EXPECT_TRUE(dialog.list()->item(2)->isSelected());
    EXPECT_FALSE(dialog.Unloaded());
}

TEST_F(SharingTest, ExportRefusalsKeepTheDialogOpen) {
    {
        frmExport empty;
        empty.Form_Load();
        empty.Form_Activate();
        EXPECT_TRUE(empty.Unloaded());
        EXPECT_EQ(PromptScript::Messages(), QStringList{"There are no saved dashboards to export."});
    }
    PromptScript::Reset();
    AddDashboard(*gDB, "Sales");
    frmExport dialog;
    dialog.Form_Load();
    dialog.cmdOK_Click();  // nothing selected
    dialog.list()->item(0)->setSelected(true);
    dialog.cmdOK_Click();  // file dialog cancelled
    EXPECT_EQ(PromptScript::Messages(), (QStringList{"Must select at least 1 dashboard to export.",
                                                     "No export file name defined."}));
    EXPECT_FALSE(dialog.Unloaded());
}

TEST_F(SharingTest, ExportNeverReplacesTheRepositoryItself) {
    AddDashboard(*gDB, "Sales");
    AddDashboard(*gDB, "Other");
    const QString repository = gDB->Name();
    const QStringList before = Dump(*gDB);
    // The same file under another spelling is still the repository.
    const QString spelled = Folder() + "/./" + QFileInfo(repository).fileName();
    EXPECT_FALSE(Export({"Sales"}, spelled));
    ASSERT_EQ(PromptScript::Messages().size(), 1);
    EXPECT_TRUE(PromptScript::Messages()[0].startsWith("Unable to export to "));
    EXPECT_EQ(Dump(*gDB), before);
    EXPECT_EQ(Dump(*OpenShared(repository)), before);
}

TEST_F(SharingTest, ExportReplacesAnOldSharedFile) {
    AddDashboard(*gDB, "Sales");
    // A short name, and the longest one a file system takes.
    for (const QString& name : {QStringLiteral("out.pvds"), QString(245, QLatin1Char('n')) + ".pvds"}) {
        SCOPED_TRACE(name.size());
        PromptScript::Reset();
        const QString target = InFolder(name);
        testsupport::WriteText(target, "an older export");
        ASSERT_TRUE(Export({"Sales"}, target)) << PromptScript::Messages().join('\n').toStdString();
        EXPECT_EQ(Rows(*OpenShared(target), "SELECT Name FROM DsbSavedWorkspace"), QStringList{"Sales"});
    }
}

TEST_F(SharingTest, ExportThatCanNotFinishLeavesNoFileBehind) {
    AddDashboard(*gDB, "Sales");
    AddDashboard(*gDB, "Private");
    // A copy that can't be made: its folder does not exist.
    EXPECT_FALSE(Export({"Sales"}, InFolder("missing/out.pvds")));
    EXPECT_EQ(PromptScript::Messages(),
              QStringList{"Unable to export to " + InFolder("missing/out.pvds") +
                          ".  The file could not be created."});
    EXPECT_FALSE(QFileInfo::exists(InFolder("missing/out.pvds")));

    // A copy that can't be pruned would hand out the dashboard not chosen.
    PromptScript::Reset();
    gDB->Execute(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON DsbSystem BEGIN "
                                "SELECT RAISE(ABORT, 'locked settings'); END"));
    gDB->Execute(QStringLiteral("INSERT INTO DsbSystem VALUES ('k', 'v')"));
    const QString target = InFolder("out.pvds");
    EXPECT_FALSE(Export({"Sales"}, target));
    EXPECT_FALSE(QFileInfo::exists(target));
    ASSERT_FALSE(PromptScript::Messages().isEmpty());
    EXPECT_TRUE(PromptScript::Messages().last().startsWith("Unable to export to " + target));
    EXPECT_TRUE(LogText().contains("locked settings"));
}
