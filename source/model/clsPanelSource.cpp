#include "model/clsPanelSource.h"

#include "model/RecordColumns.h"
#include "model/RowValues.h"
#include "services/App.h"
#include "services/modMain.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QFileInfo>


namespace {

const QString kModule = QStringLiteral("clsPanelSource");

// A loaded folder always ends with a separator, so the file in use is DestFolder & NewestFile.
QString FolderWithSeparator(const QString& folder) {
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + GetPathSeparator(folder);
}

using Source = clsPanelSource;

// The row of DsbPanelSource: the columns a source reads, inserts and updates, in the order the
// statements name them. Both times start at the moment of storing, whatever the record holds,
// and later change only through the update pass's own statements; so does the file in use.
const std::vector<columns::Column<Source>>& StoredColumns() {
    using columns::kInsert;
    using columns::kRead;
    static const std::vector<columns::Column<Source>> table = {
        {.name = "ID", .field = &Source::ID, .use = kRead},
        {.name = "FullPath", .field = &Source::FullPath},
        {.name = "Mask", .field = &Source::Mask},
        {.name = "DestFolder", .field = &Source::DestFolder},
        {.name = "NewestFile", .field = &Source::NewestFile, .use = kRead | kInsert},
        {.name = "LastUpdated", .field = &Source::LastUpdated, .use = kRead | kInsert,
         .stored = columns::Now<Source>},
        {.name = "LastChecked", .field = &Source::LastChecked, .use = kRead | kInsert,
         .stored = columns::Now<Source>},
        // Minutes beyond the 32-bit range mean "practically never"; the bound is as good.
        {.name = "CheckEveryNMin", .field = &Source::CheckEvery, .fit = columns::Fit::Clamp},
        {.name = "UpdateType", .field = &Source::UpdateType},
        {.name = "SourceFolder", .field = &Source::SourceFolder},
        {.name = "OutlookFolder", .field = &Source::OLFolder},
        {.name = "OutlookSubject", .field = &Source::OLSubject},
        {.name = "OutlookSender", .field = &Source::OLSender},
        {.name = "OutlookAttachment", .field = &Source::OLAttach},
        {.name = "MacroName", .field = &Source::Macro},
        {.name = "CmdLine", .field = &Source::CmdLine},
        {.name = "AddedParams", .field = &Source::AddedParams},
    };
    return table;
}

}  // namespace

void clsPanelSource::ClearFlags() {
    IsUpdated = false;
    IsChecked = false;
}

QDateTime SourceFileTime(const QString& path) {
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.addMSecs(-modified.time().msec());
}

QString clsPanelSource::WorkbookPath() const {
    return NewestFile.isEmpty() ? FullPath : DestFolder + NewestFile;
}

QString clsPanelSource::RecalculatedCopy(const QString& name) const {
    if (ID < 1 || name.isEmpty())
        return QString();
    return App::WithSeparator(App::Path()) + QStringLiteral("Recalculated/") + QString::number(ID) +
           QLatin1Char('/') + QFileInfo(name).fileName();
}

QString clsPanelSource::WorkbookInUse() const {
    const QString path = WorkbookPath();
    if (NewestFile.isEmpty() || !FileExists(path))
        return path;
    const QString copy = RecalculatedCopy(NewestFile);
    if (!copy.isEmpty() && QFileInfo(copy).isFile() && SourceFileTime(copy) > SourceFileTime(path))
        return copy;
    return path;
}

QDateTime clsPanelSource::NewestFileTime() const {
    if (NewestFile.isEmpty())
        return NoDate();
    QString path = WorkbookInUse();
    if (!FileExists(path)) {
        // File names compare without regard to case, as the masks do: a file in use whose
        // name now differs only in letter case is still there.
        const QString found = NewestMatch(path);
        if (found.isEmpty() || found == QStringLiteral("none") ||
            QFileInfo(found).fileName().compare(NewestFile, Qt::CaseInsensitive) != 0)
            return QDateTime::currentDateTime();
        path = found;
    }
    return SourceFileTime(path);
}

bool clsPanelSource::LoadFromDB(int32_t SourceID, db::Database* DB) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs, QStringLiteral("SELECT * FROM DsbPanelSource WHERE ID = ?"),
                           {SourceID}, true, kModule, QStringLiteral("LoadFromDB")))
        return false;
    if (rs->EOF_() || !LoadFromRecSet(*rs))
        return false;
    chkHasCustom(SourceID, DB);
    return true;
}

bool clsPanelSource::chkHasCustom(int32_t SourceID, db::Database* DB) {
    HasCustom = false;
    std::unique_ptr<db::Recordset> rs;
    if (SQL_OpenRecordset(
            DB, rs,
            QStringLiteral("SELECT * FROM DsbSavedPanel WHERE sourceID = ? and isCustom = 'Y' "
                           "COLLATE BINARY"),
            {SourceID}, true, kModule, QStringLiteral("chkHasCustom")) &&
        !rs->EOF_())
        HasCustom = true;
    return HasCustom;
}

bool clsPanelSource::LoadFromRecSet(const db::Recordset& rs) {
    QString refused;
    if (!columns::Read(*this, rs, StoredColumns(), &refused)) {
        LogError(kModule, QStringLiteral("LoadFromRecSet"), kOverflowErr,
                 OverflowText(refused, rs.Field(refused)), true);
        return false;
    }
    if (!rs.IsNull(QStringLiteral("DestFolder")))
        DestFolder = FolderWithSeparator(DestFolder);
    if (!rs.IsNull(QStringLiteral("SourceFolder")))
        SourceFolder = FolderWithSeparator(SourceFolder);
    CustomDate = LastUpdated;
    HasCustom = false;
    return true;
}

bool IsFolderChosen(const QString& folder) {
    return !folder.isEmpty() && folder != QStringLiteral("\\");
}

bool clsPanelSource::SaveToDB(db::Database* DB) { return ID < 1 ? InsertDB(DB) : UpdateDB(DB); }

bool clsPanelSource::InsertDB(db::Database* DB) {
    if (!SQL_Execute(DB, columns::InsertStatement("DsbPanelSource", StoredColumns()),
                     columns::InsertValues(*this, StoredColumns()), true, kModule,
                     QStringLiteral("InsertDB")))
        return false;
    return InsertedKey(DB, kModule, QStringLiteral("InsertDB"), ID);
}

bool clsPanelSource::UpdateDB(db::Database* DB) {
    return SQL_Execute(DB, columns::UpdateStatement("DsbPanelSource", StoredColumns()),
                       columns::UpdateValues(*this, StoredColumns(), ID), true, kModule,
                       QStringLiteral("UpdateDB"));
}

bool clsPanelSource::DelFromDB(db::Database* DB, int32_t SourceID) {
    return SQL_Execute(DB, QStringLiteral("DELETE FROM DsbPanelSource WHERE ID = ?"), {SourceID},
                       true, kModule, QStringLiteral("DelFromDB"));
}

QString clsPanelSource::CustomFile(const QString& kind) const {
    // The custom paste copies the workbook in its own format, so its copies keep its extension:
    // an .xlsm copy saved under an .xlsx name would be found by nothing.
    QString extension;
    SplitPath(FullPath, nullptr, nullptr, &extension);
    if (extension.isEmpty())
        extension = QStringLiteral("xlsx");
    return GetTemplatesFolder() + kind + QString::number(ID) + QLatin1Char('.') + extension;
}

QString clsPanelSource::Prepped() const { return CustomFile(QStringLiteral("PVCopy")); }

QString clsPanelSource::CustomTemplate() const { return CustomFile(QStringLiteral("PVTmpl")); }

void clsPanelSource::ClearSource() {
    FullPath.clear();
    Mask.clear();
    DestFolder.clear();
    NewestFile.clear();
    SourceFolder.clear();
    OLFolder.clear();
    OLSubject.clear();
    OLSender.clear();
    OLAttach.clear();
    Macro.clear();
    CmdLine.clear();
    AddedParams.clear();
    LastUpdated = QDateTime(QDate(2008, 1, 1), QTime(0, 0));
    LastChecked = LastUpdated;
    CheckEvery = 0;
    UpdateType = QStringLiteral("NA");
}
