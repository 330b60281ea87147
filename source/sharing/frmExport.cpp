#include "sharing/frmExport.h"

#include "model/Globals.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"
#include "sharing/SharingLists.h"
#include "sharing/frmAltPaths.h"
#include "ui/DialogButtons.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {
const QString kModule = QStringLiteral("frmExport");
const QString kProc = QStringLiteral("ExportDashboard");

// The same file under two spellings (a link, "..", a relative path) is still the same file.
bool SameFile(const QString& a, const QString& b) {
    const QFileInfo fa(a), fb(b);
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

// Keeps only the chosen dashboards in the copy, with their panels and the sources these use,
// and nothing of the repository's own settings; false (reported) when any of it fails.
bool PruneToDashboards(db::Database* target, const QVariantList& ids) {
    const QString inList = InListMarks(ids.size());
    const bool pruned = SQL_InTransaction(target, true, kModule, kProc, [&] {
        return SQL_Execute(target,
                           QStringLiteral("DELETE FROM DsbSavedWorkspace WHERE ID NOT IN ") + inList,
                           ids, true, kModule, kProc) &&
               SQL_Execute(target,
                           QStringLiteral("DELETE FROM DsbSavedPanel WHERE WorkspaceID NOT IN ") +
                               inList,
                           ids, true, kModule, kProc) &&
               SQL_Execute(target,
                           QStringLiteral("DELETE FROM DsbPanelSource WHERE ID NOT IN ( SELECT "
                                          "DISTINCT SourceID FROM DsbSavedPanel WHERE SourceID "
                                          "IS NOT NULL)"),
                           {}, true, kModule, kProc) &&
               SQL_Execute(target, QStringLiteral("DELETE FROM DsbSystem"), {}, true, kModule,
                           kProc) &&
               // An import of an earlier version left its scratch table in the repository,
               // with another file's paths in it.
               SQL_Execute(target, QStringLiteral("DROP TABLE IF EXISTS TempSources"), {}, true,
                           kModule, kProc);
    });
    // The deleted rows would otherwise stay readable in the file's free pages.
    return pruned && SQL_Execute(target, QStringLiteral("VACUUM"), {}, true, kModule, kProc);
}
}  // namespace

frmExport::frmExport(QWidget* parent) : QDialog(parent) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Export Dashboards"));
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { Unload(); }},
               {"cmdHelp", QStringLiteral("Help"), [this] { ShowHelp(this, kModule); }},
               {"cmdAltPath", QStringLiteral("Alt Paths..."), [this] { cmdAltPath_Click(); }}});
    lstWorkspaces_ = BuildDashboardChoice(this, QStringLiteral("Select dashboards to export:"), buttons);
}

void frmExport::Show() {
    Form_Load();
    Form_Activate();
    if (!unloaded_)
        exec();
}

void frmExport::Unload() {
    unloaded_ = true;
    done(QDialog::Rejected);
}

void frmExport::Form_Load() { lstWorkspaces_Load(); }

void frmExport::Form_Activate() {
    if (lstWorkspaces_->count() == 0) {
        MsgBox(QStringLiteral("There are no saved dashboards to export."), vbExclamation);
        Unload();
        return;
    }
    if (gWorkspace)
        List_SelectByData(lstWorkspaces_, gWorkspace->ID);
}

void frmExport::lstWorkspaces_Load() {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT * FROM DsbSavedWorkspace ORDER BY Name"), {},
                           true, kModule, QStringLiteral("lstWorkspaces_Load")))
        return;
    for (; !rs->EOF_(); rs->MoveNext()) {
        const auto id = static_cast<int32_t>(rs->Number(QStringLiteral("ID")));
        const QString text = rs->IsNull(QStringLiteral("Name"))
                                 ? QString::number(id)
                                 : rs->Text(QStringLiteral("Name"));
        List_AddItem(lstWorkspaces_, text, id);
    }
}

QString frmExport::GetSelectedIDs() const { return SelectedIDsText(lstWorkspaces_); }

QString frmExport::GetExportFile() {
    // The dialog remembers its last file, as the shared file dialog of the main window did.
    return AskSaveFile(this, QStringLiteral("Enter export file name"), ExportFile,
                       QStringLiteral("All shared files (*.pvds)"), QStringLiteral("pvds"));
}

bool frmExport::ValidateSelection() {
    if (GetSelectedIDs().isEmpty()) {
        MsgBox(QStringLiteral("Must select at least 1 dashboard to export."), vbExclamation);
        lstWorkspaces_->setFocus();
        return false;
    }
    ExportFile = GetExportFile();
    if (ExportFile.isEmpty()) {
        MsgBox(QStringLiteral("No export file name defined."), vbExclamation);
        return false;
    }
    return true;
}

bool frmExport::ExportDashboard() {
    if (!gDB)
        return false;
    const QString repository = gDB->Name();
    // Replacing the repository by its own copy would first delete it.
    if (SameFile(ExportFile, repository)) {
        MsgBox(QStringLiteral("Unable to export to ") + ExportFile +
                   QStringLiteral(".  That file is the open repository."),
               vbExclamation);
        LogEvent(kModule, kProc, QStringLiteral("Refused to export onto the repository ") + repository);
        return false;
    }
    if (QFileInfo(ExportFile).isDir()) {
        MsgBox(QStringLiteral("Unable to delete ") + ExportFile +
                   QStringLiteral(" in preparing for exporting. Will not be able to continue "
                                  "processing."),
               vbExclamation);
        LogEvent(kModule, kProc, QStringLiteral("Unable to delete ") + ExportFile + QLatin1Char('.'));
        return false;
    }

    // The shared file is made under a hidden name beside the chosen one, pruned and compacted
    // there, and only then takes the chosen name, in one step. Until then an earlier file of
    // that name stays as it was, and at no moment (a kill, a crash, a full disk) is a dashboard
    // the user did not choose readable under the chosen name. A copy left by an export that
    // was killed is cleared by the next one.
    const QFileInfo target(ExportFile);
    // Its name is cut short so that it is a name the folder takes whenever the chosen one is.
    const QString partial = target.absolutePath() + QStringLiteral("/.") +
                            target.fileName().left(200) + QStringLiteral(".export");
    const auto discard = [&] {
        QFile::remove(partial);
        QFile::remove(partial + QStringLiteral("-journal"));
    };
    const auto unable = [&](int refusal, const QString& otherwise) {
        discard();
        MsgBox(QStringLiteral("Unable to export to ") + ExportFile + QStringLiteral(".  ") +
                   (refusal ? WriteFailureText(refusal, ExportFile) : otherwise),
               vbExclamation);
        return false;
    };
    discard();
    try {
        gDB->BackupTo(partial);
    } catch (const db::Error& e) {
        LogEvent(kModule, kProc,
                 QStringLiteral("BackupTo ") + repository + QLatin1Char(',') + partial +
                     QStringLiteral(" error: ") + e.message());
        return unable(db::WriteRefusalOf(e.code(), e.systemError(), partial),
                      QStringLiteral("The file could not be created."));
    }

    std::unique_ptr<db::Database> copy;
    if (!SQL_OpenDatabase(copy, partial, kConnectString, true, kModule, kProc)) {
        discard();
        MsgBox(QStringLiteral("Error opening shared file.  Unable to continue exporting."),
               vbExclamation);
        return false;
    }
    bool pruned = false;
    int refusal = 0;
    {
        // A full disk is told once, below, naming the chosen file rather than the hidden one.
        const QuietWriteRefusals quiet;
        pruned = PruneToDashboards(copy.get(), IDValues(GetSelectedIDs()));
        refusal = pruned ? 0 : copy->WriteRefusal();
    }
    SQL_CloseDatabase(copy, true, kModule, kProc);
    if (!pruned)
        return unable(refusal, QStringLiteral("The shared file could not be limited to the chosen "
                                              "dashboards, so it was not written."));

    if (::rename(QFile::encodeName(partial).constData(),
                 QFile::encodeName(ExportFile).constData()) != 0) {
        const int error = errno;
        LogEvent(kModule, kProc,
                 QStringLiteral("Unable to rename ") + partial + QStringLiteral(" to ") +
                     ExportFile + QStringLiteral(": ") +
                     QString::fromLocal8Bit(std::strerror(error)));
        return unable(error, QString());
    }
    // The new name itself survives a power cut.
    const int folder =
        ::open(QFile::encodeName(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void frmExport::cmdOK_Click() {
    if (ValidateSelection() && ExportDashboard()) {
        unloaded_ = true;
        done(QDialog::Accepted);
    }
}

void frmExport::cmdAltPath_Click() {
    AskCustom(QStringLiteral("frmAltPaths"), [this] {
        frmAltPaths dialog(this);
        dialog.Show();
        return QVariant();
    });
    // Back from the alternate paths this dialog is activated again.
    Form_Activate();
}
