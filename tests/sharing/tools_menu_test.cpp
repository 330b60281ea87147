// The main window's Tools menu leads to import and export; after an import the registry and
// the dashboard list are read again.

#include "SharingTestSupport.h"

#include "windows/frmWorkspace.h"

#include <QAction>
#include <QComboBox>
#include <QDir>

TEST_F(SharingTest, ToolsMenuRunsImportAndExportAndRereadsTheListAfterImport) {
    AddDashboard(*gDB, "Existing");
    auto* window = new frmWorkspace;
    window->Form_Activate();
    auto* import = window->findChild<QAction*>(QStringLiteral("mnuToolsImport"));
    auto* exportItem = window->findChild<QAction*>(QStringLiteral("mnuToolsExport"));
    ASSERT_TRUE(import && exportItem);
    EXPECT_TRUE(import->isEnabled());
    EXPECT_TRUE(exportItem->isEnabled());
    auto* list = window->findChild<QComboBox*>(QStringLiteral("cmbWorkspaces"));
    const QString current = list->currentText();

    // The file dialog cancelled: no import dialog.
    PromptScript::Reset();
    import->trigger();
    EXPECT_EQ(KindsShown(), QStringList{"open"});

    // What the import dialog stored is in the list afterwards; the open dashboard stays chosen.
    PromptScript::Reset();
    PromptScript::QueueDialog(QStringLiteral("open"), InFolder("x.pvds"));
    AddDashboard(*gDB, "Arrived");
    import->trigger();
    EXPECT_EQ(KindsShown(), (QStringList{"open", "frmImport"}));
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    EXPECT_TRUE(texts.contains("Arrived"));
    EXPECT_EQ(list->currentText(), current);
    EXPECT_FALSE(window->IsBusy());

    PromptScript::Reset();
    exportItem->trigger();
    EXPECT_EQ(KindsShown(), QStringList{"frmExport"});
    delete window;
}

TEST_F(SharingTest, PublishOnAnEmptyDashboardIsRefused) {
    auto* window = new frmWorkspace;
    window->Form_Activate();
    auto* publish = window->findChild<QAction*>(QStringLiteral("mnuWorkspacePublish"));
    ASSERT_TRUE(publish);
    EXPECT_TRUE(publish->isEnabled());
    PromptScript::Reset();
    publish->trigger();
    EXPECT_EQ(PromptScript::Messages(), QStringList{"There are no panels on this dashboard to publish."});
    delete window;
}

// The import's file dialog concerns no file of its own: it starts where the last file was
// chosen, here the shared file just exported; before any choice, in the home folder.
TEST_F(SharingTest, ImportStartsWhereTheLastFileWasChosen) {
    AddDashboard(*gDB, "Sales");
    auto* window = new frmWorkspace;
    window->Form_Activate();
    auto* import = window->findChild<QAction*>(QStringLiteral("mnuToolsImport"));
    ASSERT_TRUE(import);
    PromptScript::Reset();
    import->trigger();
    ASSERT_EQ(KindsShown(), QStringList{"open"});
    EXPECT_EQ(PromptScript::Record().back().text, QDir::homePath());

    ASSERT_TRUE(QDir().mkpath(InFolder("outbox")));
    ASSERT_TRUE(Export({"Sales"}, InFolder("outbox/sales.pvds")));
    import->trigger();
    EXPECT_EQ(PromptScript::Record().back().kind, QStringLiteral("open"));
    EXPECT_EQ(PromptScript::Record().back().text, InFolder("outbox"));
    delete window;
}
