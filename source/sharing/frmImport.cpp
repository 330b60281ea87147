#include "sharing/frmImport.h"

#include "services/App.h"
#include "services/DashboardFileCheck.h"
#include "services/RepositoryTables.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"
#include "sharing/SharingLists.h"
#include "ui/DialogButtons.h"
#include "ui/modUtilsControls.h"

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSet>
#include <QStringList>

#include <iterator>
#include <vector>

namespace {
const QString kModule = QStringLiteral("frmImport");
// The shared file is attached to the repository under this name while an import runs.
const QString kShared = QStringLiteral("shared");
const QString kStop = QStringLiteral("  Unable to continue importing dashboards.");

// The panel columns copied as they are: all but the keys, which are new here.
QStringList PanelColumns() {
    return RepositoryColumns(
        QStringLiteral("DsbSavedPanel"),
        {QStringLiteral("ID"), QStringLiteral("WorkspaceID"), QStringLiteral("SourceID")});
}

QString Bracketed(const QString& column) {
    return column == QLatin1String("Top") || column == QLatin1String("Left")
               ? QLatin1Char('[') + column + QLatin1Char(']')
               : column;
}

// "?, ?, ?" for the values of an INSERT.
QString Marks(qsizetype count) { return InListMarks(count).mid(1).chopped(1); }

// "INSERT INTO main.<table> (<columns>) VALUES (?, ...)".
QString InsertInto(const QString& table, const QStringList& columns) {
    QStringList names;
    for (const QString& column : columns)
        names << Bracketed(column);
    return QStringLiteral("INSERT INTO main.") + table + QStringLiteral(" (") +
           names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") + Marks(columns.size()) +
           QLatin1Char(')');
}

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
                                          "SourceFolder FROM temp.TempSources ORDER BY rowid"),
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
                         QStringLiteral("UPDATE temp.TempSources SET FullPath = ?, DestFolder = ?, "
                                        "SourceFolder = ? WHERE rowid = ?"),
                         {row.paths[0], row.paths[1], row.paths[2], row.rowid}, true, kModule,
                         proc))
            return false;
    }

    return true;
}

// The repository source an imported one stands for: the first with the same update type,
// mask and destination folder (the columns compare without regard to case); 0 when none.
// False after the message when the repository's sources can't be read.
bool AlikeSourceID(const db::Recordset& imported, const QString& proc, qint64& id) {
    std::unique_ptr<db::Recordset> match;
    if (!SQL_OpenRecordset(
            gDB.get(), match,
            QStringLiteral("SELECT ID FROM main.DsbPanelSource WHERE "
                           "UpdateType IS ? AND Mask IS ? AND DestFolder IS ? "
                           "ORDER BY ID LIMIT 1"),
            {imported.Field(QStringLiteral("UpdateType")), imported.Field(QStringLiteral("Mask")),
             imported.Field(QStringLiteral("DestFolder"))},
            true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing destination panels.") + kStop, vbExclamation);
        return false;
    }
    id = match->EOF_() ? 0 : match->Number(QStringLiteral("ID"));
    return true;
}

// The scratch sources, in the order they were made; nullptr after the message when they can't
// be read.
std::unique_ptr<db::Recordset> StagedSources(const QString& proc) {
    std::unique_ptr<db::Recordset> staged;
    if (!SQL_OpenRecordset(
            gDB.get(), staged,
            QStringLiteral("SELECT rowid AS RowNo, * FROM temp.TempSources ORDER BY rowid"), {},
            true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source panels.") + kStop, vbExclamation);
        return nullptr;
    }
    return staged;
}

// Each scratch source gets the ID it has in the repository (NewID): an alike repository
// source is reused as it stands, any other is inserted, never fetched nor checked yet.
bool MapImportedSources(const QString& proc) {
    const std::unique_ptr<db::Recordset> imported = StagedSources(proc);
    if (!imported)
        return false;
    const QStringList columns =
        RepositoryColumns(QStringLiteral("DsbPanelSource"), {QStringLiteral("ID")});
    for (; !imported->EOF_(); imported->MoveNext()) {
        qint64 newID = 0;
        if (!AlikeSourceID(*imported, proc, newID))
            return false;
        if (newID == 0) {
            QVariantList values;
            for (const QString& column : columns) {
                if (column == QLatin1String("NewestFile"))
                    values << QString(QLatin1String(""));
                else if (column == QLatin1String("LastUpdated") ||
                         column == QLatin1String("LastChecked"))
                    values << NeverChecked();
                else
                    values << imported->Field(column);
            }
            if (!SQL_Execute(gDB.get(), InsertInto(QStringLiteral("DsbPanelSource"), columns),
                             values, true, kModule, proc))
                return false;
            newID = gDB->LastInsertId();
        }
        if (!SQL_Execute(gDB.get(),
                         QStringLiteral("UPDATE temp.TempSources SET NewID = ? WHERE rowid = ?"),
                         {newID, imported->Number(QStringLiteral("RowNo"))}, true, kModule, proc))
            return false;
    }
    return true;
}

// What the imported sources do in one place of this computer, in the order it is told.
enum FolderUse : unsigned {
    kCopiedFrom = 1u,    // workbooks are copied out of it
    kCopiedInto = 2u,    // workbooks are copied into it
    kSavedInto = 4u,     // mail attachments are saved into it
    kRecalculated = 8u,  // workbooks in it are recalculated and saved again
    kShown = 16u,        // the newest matching workbook in it is shown
    kMailRead = 32u,     // a mail folder whose attachments are read
};
const char* const kUseTexts[] = {
    "workbooks are copied from it",       "workbooks are copied into it",
    "mail attachments are saved into it", "workbooks in it are recalculated and saved",
    "workbooks in it are shown",          "its mail attachments are read"};

// A path as the user is to read it: characters that would not show, or would turn the text
// around, are written as their code.
QString VisiblePath(const QString& path) {
    QString shown;
    for (const QChar c : path) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            shown += QStringLiteral("\\x{%1}").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

// A folder as the user is to read it; one with "." or ".." parts, or a relative one, is
// followed by the folder it leads to.
QString ShownFolder(const QString& path) {
    const QString where = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString given = path;
    while (given.size() > 1 &&
           (given.endsWith(QLatin1Char('/')) || given.endsWith(QLatin1Char('\\'))))
        given.chop(1);
    return where == given ? VisiblePath(path)
                          : VisiblePath(path) + QStringLiteral(" (that is ") + VisiblePath(where) +
                                QLatin1Char(')');
}

QString UseText(unsigned use) {
    QStringList parts;
    for (unsigned bit = 0; bit < std::size(kUseTexts); ++bit)
        if (use & (1u << bit))
            parts << QLatin1String(kUseTexts[bit]);
    return parts.join(QStringLiteral("; "));
}

// The places the imported sources that are new to this repository would use, each with what
// happens there, in the order first met; false after the message when the sources can't be read. Sources
// mapped onto the repository's own bring nothing new: those are used as they stand.
bool PlacesToAgreeTo(const QString& proc, QStringList& lines) {
    const std::unique_ptr<db::Recordset> imported = StagedSources(proc);
    if (!imported)
        return false;
    struct Place {
        bool mail;     // a folder of the mail store, by its path there
        QString path;  // as first met
        QString key;   // where it leads: one line per folder, however it is written
        unsigned use;
    };
    std::vector<Place> places;
    const auto note = [&places](bool mail, const QString& path, unsigned use) {
        if (path.isEmpty() && !mail)
            return;
        const QString key = mail ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        for (Place& place : places) {
            if (place.mail == mail && place.key == key) {
                place.use |= use;
                return;
            }
        }
        places.push_back({mail, path, key, use});
    };
    for (; !imported->EOF_(); imported->MoveNext()) {
        qint64 alike = 0;
        if (!AlikeSourceID(*imported, proc, alike))
            return false;
        if (alike != 0)
            continue;
        const QString type = imported->Text(QStringLiteral("UpdateType"));
        const QString dest = imported->Text(QStringLiteral("DestFolder"));
        if (type == QLatin1String("folder")) {
            note(false, imported->Text(QStringLiteral("SourceFolder")), kCopiedFrom);
            note(false, dest, kCopiedInto);
        } else if (type == QLatin1String("inbox")) {
            note(false, dest, kSavedInto);
            note(true,
                 imported->Text(QStringLiteral("OutlookFolder")).section(QLatin1Char('`'), 0, 0),
                 kMailRead);
        } else if (type == QLatin1String("refresh")) {
            note(false, dest, kRecalculated);
        }
        note(false, dest, kShown);
        // Until a newer version is found, a panel shows the workbook it was pasted from.
        note(false, GetFolder(imported->Text(QStringLiteral("FullPath"))), kShown);
    }
    for (const Place& place : places) {
        const QString shown = !place.mail ? ShownFolder(place.path)
                              : place.path.isEmpty()
                                  ? QStringLiteral("the mail Inbox")
                                  : QStringLiteral("the mail folder ") + VisiblePath(place.path);
        // The place on a line of its own, what happens there indented below it, so that a
        // long path that wraps is still told from its neighbours.
        lines << QStringLiteral("    ") + shown + QStringLiteral("\r\n        ") + UseText(place.use);
    }
    return true;
}

}  // namespace

bool DelTempSources() {
    try {
        // Earlier versions left the scratch table in the repository, and every export copied it.
        if (gDB && gDB->HasTable(QStringLiteral("TempSources"), QStringLiteral("main")))
            gDB->Execute(QStringLiteral("DROP TABLE main.TempSources"));
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
    const bool imported = ImportDashboard();
    // The user said no to the folders: nothing to report, and the list is as it was.
    if (declined_)
        return;
    if (imported) {
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
    declined_ = false;
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
    bool imported = false;
    if (!reason.isEmpty()) {
        LogError(kModule, proc, ErrNum::kUnreadable,
                 NotReadableMessage(ImportFile, DashboardFileKind::Shared, reason), true);
    } else if (ImportSources(ids, inList)) {
        // The sources stand in the connection's own scratch table, in the folders they will
        // have here: the user sees those before anything is written to the repository.
        if (AgreeToPlaces()) {
            imported = SQL_InTransaction(gDB.get(), true, kModule, proc, [&] {
                return DelTempSources() && MapImportedSources(QStringLiteral("ImportSources")) &&
                       ImportWorkspaces(ids, inList);
            });
        }
    }
    DropStagedSources();
    try {
        gDB->Detach(kShared);
    } catch (const db::Error& e) {
        LogError(kModule, proc, e.code(), e.message(), false);
    }
    return imported;
}

bool frmImport::ImportSources(const QVariantList& ids, const QString& inList) {
    const QString proc = QStringLiteral("ImportSources");
    DropStagedSources();
    // A table of the connection alone: it never reaches the repository file, so no later
    // export can carry the shared file's paths along, and it goes with the import.
    if (!SQL_Execute(gDB.get(),
                     QStringLiteral("CREATE TEMP TABLE TempSources AS SELECT 0 AS NewID, * FROM "
                                    "shared.DsbPanelSource WHERE ID IN (SELECT DISTINCT SourceID "
                                    "FROM shared.DsbSavedPanel WHERE WorkspaceID IN ") +
                         inList + QLatin1Char(')'),
                     ids, true, kModule, proc)) {
        MsgBox(QStringLiteral("Error accessing source panels.") + kStop, vbExclamation);
        return false;
    }
    return RewriteSourcePaths(proc);
}

bool frmImport::AgreeToPlaces() {
    QStringList lines;
    if (!PlacesToAgreeTo(QStringLiteral("ImportSources"), lines))
        return false;
    if (lines.isEmpty())
        return true;
    const bool agreed =
        MsgBox(QStringLiteral("The selected dashboard(s) will use these places of this computer "
                              "each time they are opened or refreshed:\r\n\r\n") +
                   lines.join(QStringLiteral("\r\n")) +
                   QStringLiteral("\r\n\r\nDo you want to import them? Choose No unless each "
                                  "of these places is meant for them."),
               vbYesNo | vbQuestion | vbDefaultButton2) == vbYes;
    if (!agreed) {
        declined_ = true;
        LogEvent(kModule, QStringLiteral("ImportSources"),
                 QStringLiteral("The folders of ") + ImportFile +
                     QStringLiteral(" were not agreed to; nothing was imported."));
    }
    return agreed;
}

void frmImport::DropStagedSources() {
    try {
        gDB->Execute(QStringLiteral("DROP TABLE IF EXISTS temp.TempSources"));
    } catch (const db::Error& e) {
        // It goes with the connection at the latest.
        LogError(QStringLiteral("IngestUtils"), QStringLiteral("DelTemps"), e.code(), e.message(),
                 false);
    }
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
    // Copied as they are, but for the key, which is new here.
    const QStringList columns =
        RepositoryColumns(QStringLiteral("DsbSavedWorkspace"), {QStringLiteral("ID")});
    for (; !source->EOF_(); source->MoveNext()) {
        // The main window lists named dashboards only: an unnamed one would be stored out of
        // the user's reach.
        if (source->Text(QStringLiteral("Name")).trimmed().isEmpty()) {
            LogError(kModule, proc, ErrNum::kGeneral,
                     QStringLiteral("Dashboard ") + QString::number(source->Number(QStringLiteral("ID"))) +
                         QStringLiteral(" of the shared file has no name."),
                     true);
            return false;
        }
        QVariantList values;
        for (const QString& column : columns)
            values << source->Field(column);
        if (!SQL_Execute(gDB.get(), InsertInto(QStringLiteral("DsbSavedWorkspace"), columns),
                         values, true, kModule, proc)) {
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
    const QString insert = InsertInto(
        QStringLiteral("DsbSavedPanel"),
        QStringList{QStringLiteral("WorkspaceID"), QStringLiteral("SourceID")} + PanelColumns());
    for (; !source->EOF_(); source->MoveNext()) {
        // A panel whose source did not travel keeps no source rather than someone else's.
        qint64 mapped = 0;
        const QVariant sourceID = source->Field(QStringLiteral("SourceID"));
        if (!sourceID.isNull()) {
            std::unique_ptr<db::Recordset> temp;
            if (!SQL_OpenRecordset(
                    gDB.get(), temp,
                    QStringLiteral("SELECT NewID FROM temp.TempSources WHERE ID = ?"), {sourceID},
                    true, kModule, proc)) {
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
