#include "sharing/frmImport.h"

#include "services/App.h"
#include "services/DashboardFileCheck.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"
#include "sharing/SharingLists.h"
#include "ui/DialogButtons.h"

#include <QListWidget>
#include <QSet>
#include <QStringList>

#include <vector>

namespace {
const QString kModule = QStringLiteral("frmImport");
// The shared file is attached to the repository under this name while an import runs.
const QString kShared = QStringLiteral("shared");
const QString kStop = QStringLiteral("  Unable to continue importing dashboards.");

// Copied panel columns, in the order they are written after WorkspaceID and SourceID.
const QStringList& PanelColumns() {
    static const QStringList columns = {
        "Ndx", "Comments", "ContentType", "IsCustom", "SheetName", "PicRange", "RowHeights",
        "ColWidths", "RelativeTo", "ContentMatch", "Top", "Left", "Height", "Width", "ViewType",
        "LastViewed", "Caption"};
    return columns;
}

QString Bracketed(const QString& column) {
    return column == QLatin1String("Top") || column == QLatin1String("Left")
               ? QLatin1Char('[') + column + QLatin1Char(']')
               : column;
}

// "?, ?, ?" for the values of an INSERT.
QString Marks(qsizetype count) { return InListMarks(count).mid(1).chopped(1); }

// One source row of the scratch table whose folder paths may be rewritten.
struct TempPaths {
    qint64 rowid;
    QVariant paths[3];  // FullPath, DestFolder, SourceFolder
    bool changed = false;
};
const char* const kPathColumns[3] = {"FullPath", "DestFolder", "SourceFolder"};

// 1 January 1900: a new source counts as never fetched nor checked.
QDateTime NeverChecked() { return QDateTime(QDate(1900, 1, 1), QTime(0, 0)); }

// The scratch sources' folder paths rewritten by the shared file's alternate paths: a base
// path that is not here but whose alternate is becomes that alternate, the longest base path
// first, so a nested folder takes its own alternate.
bool RewriteSourcePaths(const QString& proc) {
    std::unique_ptr<db::Recordset> alt;
    if (!SQL_OpenRecordset(gDB.get(), alt,
                           QStringLiteral("SELECT BasePath, AltPath FROM shared.DsbAltPaths "
                                          "ORDER BY length(BasePath) DESC"),
                           {}, true, kModule, proc))
        return false;
    std::unique_ptr<db::Recordset> temp;
    if (!SQL_OpenRecordset(gDB.get(), temp,
                           QStringLiteral("SELECT rowid AS RowNo, FullPath, DestFolder, "
                                          "SourceFolder FROM TempSources ORDER BY rowid"),
                           {}, true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source panels.") + kStop, vbExclamation);
        return false;
    }
    std::vector<TempPaths> rows;
    for (; !temp->EOF_(); temp->MoveNext()) {
        TempPaths row{temp->Number(QStringLiteral("RowNo")), {}};
        for (int c = 0; c < 3; ++c)
            row.paths[c] = temp->Field(QLatin1String(kPathColumns[c]));
        rows.push_back(row);
    }
    for (; !alt->EOF_(); alt->MoveNext()) {
        if (alt->IsNull(QStringLiteral("BasePath")) || alt->IsNull(QStringLiteral("AltPath")))
            continue;
        const QString base = alt->Text(QStringLiteral("BasePath"));
        const QString other = alt->Text(QStringLiteral("AltPath"));
        if (base.isEmpty() || FolderExists(base) || !FolderExists(other))
            continue;
        for (TempPaths& row : rows) {
            for (QVariant& path : row.paths) {
                if (path.isNull())
                    continue;
                // The selection is by the path's start in any letter case; the replacement
                // is of the base path exactly as written, wherever it occurs.
                QString value = path.toString();
                if (!value.startsWith(base, Qt::CaseInsensitive))
                    continue;
                value.replace(base, other, Qt::CaseSensitive);
                if (value != path.toString()) {
                    path = value;
                    row.changed = true;
                }
            }
        }
    }
    for (const TempPaths& row : rows) {
        if (!row.changed)
            continue;
        if (!SQL_Execute(gDB.get(),
                         QStringLiteral("UPDATE TempSources SET FullPath = ?, DestFolder = ?, "
                                        "SourceFolder = ? WHERE rowid = ?"),
                         {row.paths[0], row.paths[1], row.paths[2], row.rowid}, true, kModule,
                         proc))
            return false;
    }

    return true;
}

// Each scratch source gets the ID it has in the repository (NewID): an alike repository
// source (same update type, mask and folder) is reused as it stands, any other is inserted.
bool MapImportedSources(const QString& proc) {
    std::unique_ptr<db::Recordset> imported;
    if (!SQL_OpenRecordset(gDB.get(), imported,
                           QStringLiteral("SELECT rowid AS RowNo, * FROM TempSources ORDER BY rowid"),
                           {}, true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source panels.") + kStop, vbExclamation);
        return false;
    }
    for (; !imported->EOF_(); imported->MoveNext()) {
        const auto field = [&imported](const char* name) {
            return imported->Field(QLatin1String(name));
        };
        std::unique_ptr<db::Recordset> match;
        if (!SQL_OpenRecordset(gDB.get(), match,
                               QStringLiteral("SELECT ID FROM main.DsbPanelSource WHERE "
                                              "UpdateType IS ? AND Mask IS ? AND DestFolder IS ? "
                                              "ORDER BY ID LIMIT 1"),
                               {field("UpdateType"), field("Mask"), field("DestFolder")}, true,
                               kModule, proc)) {
            MsgBox(QStringLiteral("Error accessing destination panels.") + kStop, vbExclamation);
            return false;
        }
        qint64 newID = 0;
        if (!match->EOF_()) {
            newID = match->Number(QStringLiteral("ID"));
        } else {
            if (!SQL_Execute(
                    gDB.get(),
                    QStringLiteral("INSERT INTO main.DsbPanelSource (FullPath, Mask, DestFolder, "
                                   "NewestFile, LastUpdated, LastChecked, CheckEveryNMin, "
                                   "UpdateType, SourceFolder, OutlookFolder, OutlookSubject, "
                                   "OutlookSender, OutlookAttachment, MacroName, CmdLine, "
                                   "AddedParams) VALUES (") +
                        Marks(16) + QLatin1Char(')'),
                    {field("FullPath"), field("Mask"), field("DestFolder"), QString(""),
                     NeverChecked(), NeverChecked(), field("CheckEveryNMin"), field("UpdateType"),
                     field("SourceFolder"), field("OutlookFolder"), field("OutlookSubject"),
                     field("OutlookSender"), field("OutlookAttachment"), field("MacroName"),
                     field("CmdLine"), field("AddedParams")},
                    true, kModule, proc))
                return false;
            newID = gDB->LastInsertId();
        }
        if (!SQL_Execute(gDB.get(), QStringLiteral("UPDATE TempSources SET NewID = ? WHERE rowid = ?"),
                         {newID, imported->Number(QStringLiteral("RowNo"))}, true, kModule, proc))
            return false;
    }
    return true;
}
}  // namespace

bool DelTempSources() {
    try {
        if (gDB && gDB->HasTable(QStringLiteral("TempSources")))
            gDB->DropTable(QStringLiteral("TempSources"));
        return true;
    } catch (const db::Error& e) {
        LogError(QStringLiteral("IngestUtils"), QStringLiteral("DelTemps"), e.code(), e.message(),
                 true);
        return false;
    }
}

frmImport::frmImport(QWidget* parent) : QDialog(parent) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Import Dashboards"));
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdOK", QStringLiteral("OK"), [this] { cmdOK_Click(); }},
               {"cmdCancel", QStringLiteral("Cancel"), [this] { Unload(); }},
               {"cmdHelp", QStringLiteral("Help"), [this] { ShowHelp(this, kModule); }}});
    lstWorkspaces_ = BuildDashboardChoice(this, QStringLiteral("Select dashboards to import:"), buttons);
}

frmImport::~frmImport() { Form_Unload(); }

void frmImport::Show() {
    Form_Activate();
    if (!unloaded_)
        exec();
    Form_Unload();
}

void frmImport::Unload() {
    unloaded_ = true;
    done(QDialog::Rejected);
}

void frmImport::Form_Unload() {
    if (dbImport)
        SQL_CloseDatabase(dbImport, true, QString(), QString());
}

void frmImport::Form_Activate() {
    if (!FileExists(ImportFile)) {
        MsgBox(QStringLiteral("Import file [") + ImportFile + QStringLiteral("] does not exist."),
               vbExclamation);
        Unload();
        return;
    }
    if (!SQL_OpenDatabase(dbImport, ImportFile, kConnectString, true, QString(), QString()) ||
        !CheckSharedTables()) {
        dbImport.reset();
        MsgBox(QStringLiteral("Error opening shared file.") + kStop, vbExclamation);
        Unload();
        return;
    }
    if (!lstWorkspaces_Load()) {
        Unload();
        return;
    }
    if (lstWorkspaces_->count() == 0) {
        MsgBox(QStringLiteral("There are no dashboards to import from."), vbExclamation);
        Unload();
    }
}

bool frmImport::CheckSharedTables() {
    // Guarded from here on: the file comes from someone else.
    dbImport->Guard();
    QString reason;
    try {
        reason = UnreadableReason(*dbImport, DashboardFileKind::Shared);
    } catch (const db::Error& e) {
        reason = e.message();
    }
    if (reason.isEmpty())
        return true;
    LogError(kModule, QStringLiteral("Form_Activate"), ErrNum::kUnreadable,
             NotReadableMessage(ImportFile, DashboardFileKind::Shared, reason), true);
    return false;
}

bool frmImport::lstWorkspaces_Load() {
    std::unique_ptr<db::Recordset> names;
    if (!SQL_OpenRecordset(gDB.get(), names, QStringLiteral("SELECT Name FROM DsbSavedWorkspace"),
                           {}, true, kModule, QStringLiteral("lstWorkspaces_Load")))
        return false;
    // Names compare without regard to case, as the repository's own lookups by name do.
    QSet<QString> taken;
    for (; !names->EOF_(); names->MoveNext()) {
        if (!names->IsNull(QStringLiteral("Name")))
            taken.insert(names->Text(QStringLiteral("Name")).toCaseFolded());
    }
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(dbImport.get(), rs,
                           QStringLiteral("SELECT * FROM DsbSavedWorkspace ORDER BY Name"), {}, true,
                           kModule, QStringLiteral("lstWorkspaces_Load")))
        return false;
    for (; !rs->EOF_(); rs->MoveNext()) {
        const auto id = static_cast<int32_t>(rs->Number(QStringLiteral("ID")));
        const QString name = rs->Text(QStringLiteral("Name"));
        if (rs->IsNull(QStringLiteral("Name")) || name.trimmed().isEmpty()) {
            // The main window lists named dashboards only, so an unnamed one is not imported
            // (ImportWorkspaces refuses it); offering it would only end in "Nothing was imported."
            LogEvent(kModule, QStringLiteral("lstWorkspaces_Load"),
                     QStringLiteral("Dashboard ") + QString::number(id) +
                         QStringLiteral(" of the shared file has no name; it is not offered."));
            continue;
        }
        if (!taken.contains(name.toCaseFolded()))
            List_AddItem(lstWorkspaces_, name, id);
    }
    return true;
}

QString frmImport::GetSelectedIDs() const { return SelectedIDsText(lstWorkspaces_); }

QString frmImport::GetSelectedNames() const {
    QStringList names;
    for (int i = 0; i < lstWorkspaces_->count(); ++i) {
        if (lstWorkspaces_->item(i)->isSelected())
            names << QLatin1Char('\'') + lstWorkspaces_->item(i)->text().trimmed() + QLatin1Char('\'');
    }
    return names.join(QLatin1Char(','));
}

bool frmImport::ValidateSelection() {
    if (lstWorkspaces_->selectedItems().isEmpty()) {
        MsgBox(QStringLiteral("Must select at least 1 panel to import."), vbExclamation);
        lstWorkspaces_->setFocus();
        return false;
    }
    return true;
}

void frmImport::cmdOK_Click() {
    if (!ValidateSelection())
        return;
    if (ImportDashboard()) {
        MsgBox(QStringLiteral("Selected dashboard(s) were imported successfully."), vbInformation);
        unloaded_ = true;
        done(QDialog::Accepted);
        return;
    }
    MsgBox(QStringLiteral("Nothing was imported."), vbExclamation);
    // The list is read again, so it shows what the repository holds now; a list that can't be
    // read (reported) stays empty, and the user can only cancel.
    lstWorkspaces_->clear();
    (void)lstWorkspaces_Load();
}

bool frmImport::ImportDashboard() {
    const QString proc = QStringLiteral("ImportDashboard");
    if (!gDB)
        return false;
    const QVariantList ids = IDValues(GetSelectedIDs());
    if (ids.isEmpty())
        return false;
    const QString inList = InListMarks(ids.size());

    // The cross-file copy reads the shared file inside the repository's own connection, and a
    // database can only be attached outside a transaction. The connection is guarded meanwhile,
    // and the file is checked again as attached: it may have changed since the list was read.
    db::GuardScope guard(*gDB, QStringLiteral("main"));
    try {
        gDB->Attach(ImportFile, kShared, gDB->Key());
    } catch (const db::Error& e) {
        LogError(kModule, proc, e.code(),
                 QLatin1Char('[') + ImportFile + QStringLiteral("] ") + e.message(), true);
        return false;
    }
    QString reason;
    try {
        reason = UnreadableReason(*gDB, DashboardFileKind::Shared, kShared);
    } catch (const db::Error& e) {
        reason = e.message();
    }
    const bool imported =
        reason.isEmpty() ? SQL_InTransaction(gDB.get(), true, kModule, proc, [&] {
            return ImportSources(ids, inList) && ImportWorkspaces(ids, inList);
        })
                         : false;
    if (!reason.isEmpty())
        LogError(kModule, proc, ErrNum::kUnreadable,
                 NotReadableMessage(ImportFile, DashboardFileKind::Shared, reason), true);
    try {
        gDB->Detach(kShared);
    } catch (const db::Error& e) {
        LogError(kModule, proc, e.code(), e.message(), false);
    }
    return imported;
}

bool frmImport::ImportSources(const QVariantList& ids, const QString& inList) {
    const QString proc = QStringLiteral("ImportSources");
    if (!DelTempSources())
        return false;
    if (!SQL_Execute(gDB.get(),
                     QStringLiteral("CREATE TABLE main.TempSources AS SELECT 0 AS NewID, * FROM "
                                    "shared.DsbPanelSource WHERE ID IN (SELECT DISTINCT SourceID "
                                    "FROM shared.DsbSavedPanel WHERE WorkspaceID IN ") +
                         inList + QLatin1Char(')'),
                     ids, true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source panels.") + kStop, vbExclamation);
        return false;
    }
    return RewriteSourcePaths(proc) && MapImportedSources(proc);
}

bool frmImport::ImportWorkspaces(const QVariantList& ids, const QString& inList) {
    const QString proc = QStringLiteral("ImportWorkspaces");
    std::unique_ptr<db::Recordset> source;
    if (!SQL_OpenRecordset(gDB.get(), source,
                           QStringLiteral("SELECT * FROM shared.DsbSavedWorkspace WHERE ID IN ") +
                               inList + QStringLiteral(" ORDER BY ID"),
                           ids, true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source dashboards.") + kStop, vbExclamation);
        return false;
    }
    for (; !source->EOF_(); source->MoveNext()) {
        const auto field = [&source](const char* name) { return source->Field(QLatin1String(name)); };
        // The main window lists named dashboards only: an unnamed one would be stored out of
        // the user's reach.
        if (source->Text(QStringLiteral("Name")).trimmed().isEmpty()) {
            LogError(kModule, proc, ErrNum::kGeneral,
                     QStringLiteral("Dashboard ") + QString::number(source->Number(QStringLiteral("ID"))) +
                         QStringLiteral(" of the shared file has no name."),
                     true);
            return false;
        }
        if (!SQL_Execute(gDB.get(),
                         QStringLiteral("INSERT INTO main.DsbSavedWorkspace (Name, Description, "
                                        "Template, Selected, LastUpdated, Status, Comments, "
                                        "LastViewed) VALUES (") +
                             Marks(8) + QLatin1Char(')'),
                         {field("Name"), field("Description"), field("Template"), field("Selected"),
                          field("LastUpdated"), field("Status"), field("Comments"),
                          field("LastViewed")},
                         true, kModule, proc)) {
            MsgBox(QStringLiteral("Error accessing destination dashboards.") + kStop, vbExclamation);
            return false;
        }
        const auto newID = static_cast<int32_t>(gDB->LastInsertId());
        if (!ImportPanels(static_cast<int32_t>(source->Number(QStringLiteral("ID"))), newID))
            return false;
    }
    return true;
}

bool frmImport::ImportPanels(int32_t OldWorkspaceID, int32_t NewWorkspaceID) {
    const QString proc = QStringLiteral("ImportPanels");
    std::unique_ptr<db::Recordset> source;
    if (!SQL_OpenRecordset(gDB.get(), source,
                           QStringLiteral("SELECT * FROM shared.DsbSavedPanel WHERE WorkspaceID = ? "
                                          "ORDER BY ID"),
                           {OldWorkspaceID}, true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source panels.") + kStop, vbExclamation);
        return false;
    }
    QStringList columns = {QStringLiteral("WorkspaceID"), QStringLiteral("SourceID")};
    for (const QString& column : PanelColumns())
        columns << Bracketed(column);
    const QString insert = QStringLiteral("INSERT INTO main.DsbSavedPanel (") +
                           columns.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                           Marks(columns.size()) + QLatin1Char(')');
    for (; !source->EOF_(); source->MoveNext()) {
        // A panel whose source did not travel keeps no source rather than someone else's.
        qint64 mapped = 0;
        const QVariant sourceID = source->Field(QStringLiteral("SourceID"));
        if (!sourceID.isNull()) {
            std::unique_ptr<db::Recordset> temp;
            if (!SQL_OpenRecordset(gDB.get(), temp,
                                   QStringLiteral("SELECT NewID FROM TempSources WHERE ID = ?"),
                                   {sourceID}, true, kModule, proc)) {
                MsgBox(QStringLiteral("Error accessing sources.") + kStop, vbExclamation);
                return false;
            }
            if (!temp->EOF_())
                mapped = temp->Number(QStringLiteral("NewID"));
        }
        if (mapped == 0)
            LogEvent(kModule, proc,
                     QStringLiteral("Panel ") + source->Text(QStringLiteral("ID")) +
                         QStringLiteral(" of the shared file has no source in it; it is imported "
                                        "without one."));
        QVariantList values = {NewWorkspaceID, mapped};
        for (const QString& column : PanelColumns())
            values << source->Field(column);
        if (!SQL_Execute(gDB.get(), insert, values, true, kModule, proc)) {
            MsgBox(QStringLiteral("Error accessing destination panels.") + kStop, vbExclamation);
            return false;
        }
    }
    return true;
}
