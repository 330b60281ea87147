#pragma once
// A program folder with a fresh repository, rows written straight into any keyed file, the
// export and import dialogs driven as a user drives them, and a second repository to import
// into.

#include "RepositoryReads.h"
#include "TestSupport.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"
#include "sharing/frmExport.h"
#include "sharing/frmImport.h"

#include <QDir>
#include <QListWidget>
#include <QStringList>

#include <ostream>

using testsupport::Dump;
using testsupport::Rows;
using testsupport::Scalar;

class SharingTest : public ProgramFolderTest {
protected:
    void SetUp() override {
        ProgramFolderTest::SetUp();
        StartWithRepository();
        gSources = std::make_unique<clsSources>();
        gWorkspace = std::make_unique<clsWorkspace>();
    }
    void TearDown() override {
        gWorkspace.reset();
        gSources.reset();
        ProgramFolderTest::TearDown();
    }

    static int32_t AddDashboard(db::Database& d, const QVariant& name,
                                const QString& description = QStringLiteral("about it")) {
        d.Execute(QStringLiteral("INSERT INTO DsbSavedWorkspace(Name, Description, LastUpdated, "
                                 "Template, Status, Comments) VALUES (?, ?, ?, 'T', 'S', 'C')"),
                  {name, description, QStringLiteral("2024-03-05 10:11:12")});
        return static_cast<int32_t>(d.LastInsertId());
    }
    static int32_t AddSource(db::Database& d, const QVariant& fullPath, const QVariant& updateType,
                             const QVariant& mask, const QVariant& destFolder,
                             const QVariant& sourceFolder = QVariant()) {
        d.Execute(QStringLiteral("INSERT INTO DsbPanelSource(FullPath, Mask, DestFolder, "
                                 "NewestFile, LastUpdated, LastChecked, CheckEveryNMin, UpdateType, "
                                 "SourceFolder, MacroName) VALUES (?, ?, ?, 'newest.xlsx', "
                                 "'2024-01-01 00:00:00', '2024-01-02 00:00:00', 15, ?, ?, 'Mac')"),
                  {fullPath, mask, destFolder, updateType, sourceFolder});
        return static_cast<int32_t>(d.LastInsertId());
    }
    static int32_t AddPanel(db::Database& d, int32_t workspaceID, const QVariant& sourceID,
                            const QString& caption) {
        d.Execute(QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, Ndx, "
                                 "ContentType, IsCustom, SheetName, PicRange, [Left], [Top], Width, "
                                 "Height, ViewType, Caption) VALUES (?, ?, 1, 'S', 'N', 'Data', "
                                 "'A1:C4', 120, 240, 3000, 1500, 'A', ?)"),
                  {workspaceID, sourceID, caption});
        return static_cast<int32_t>(d.LastInsertId());
    }
    // The kinds of the prompts shown so far ("msgbox", "open", a dialog's form name...).
    static QStringList KindsShown() {
        QStringList kinds;
        for (const PromptScript::Shown& shown : PromptScript::Record())
            kinds << shown.kind;
        return kinds;
    }
    static std::unique_ptr<db::Database> OpenShared(const QString& path) {
        return db::Database::Open(path, DatabaseKey(kConnectString));
    }

    // Exports the dashboards of these names into `path` through the dialog; true when the
    // dialog closed after exporting.
    static bool Export(const QStringList& names, const QString& path) {
        frmExport dialog;
        dialog.Form_Load();
        for (int i = 0; i < dialog.list()->count(); ++i)
            dialog.list()->item(i)->setSelected(names.contains(dialog.list()->item(i)->text()));
        PromptScript::QueueDialog(QStringLiteral("save"), path);
        dialog.cmdOK_Click();
        return dialog.Unloaded();
    }

    // Leaves the exporting repository for a new empty one, as another user's machine.
    void SwitchToNewRepository(const QString& name = QStringLiteral("Other.pvdu")) {
        gDB.reset();
        testsupport::MakeRepository(InFolder(name));
        ASSERT_TRUE(InitRepository(gDB, InFolder(name)));
    }

    // The question the import asks before it writes anything: the places the new sources use.
    static bool IsPlacesQuestion(const QString& text) {
        return text.startsWith(QStringLiteral("The selected dashboard(s) will use these places"));
    }

    // Opens the import dialog on `path`, selects the offered dashboards of these names, presses
    // OK and answers the places question with `agree`. Returns the offered names, the places
    // question when one was asked and the other messages shown, in order; the prompt script
    // is reset afterwards.
    struct ImportRun {
        QStringList offered;
        bool closed = false;
        QString places;
        int placesStyle = 0;
        QStringList messages;
    };
    static ImportRun Import(const QString& path, const QStringList& names, bool agree = true) {
        ImportRun run;
        frmImport dialog;
        dialog.ImportFile = path;
        dialog.Form_Activate();
        for (int i = 0; i < dialog.list()->count(); ++i)
            run.offered << dialog.list()->item(i)->text();
        if (!dialog.Unloaded()) {
            for (int i = 0; i < dialog.list()->count(); ++i)
                dialog.list()->item(i)->setSelected(names.contains(dialog.list()->item(i)->text()));
            PromptScript::QueueMsgBox(agree ? vbYes : vbNo);
            dialog.cmdOK_Click();
        }
        run.closed = dialog.Unloaded();
        for (const PromptScript::Shown& shown : PromptScript::Record()) {
            if (shown.kind != QLatin1String("msgbox"))
                continue;
            if (IsPlacesQuestion(shown.text)) {
                run.places = shown.text;
                run.placesStyle = shown.style;
            } else {
                run.messages << shown.text;
            }
        }
        // An answer that no question took must not answer a later box.
        PromptScript::Reset();
        return run;
    }
};

// Readable failures: texts print as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
