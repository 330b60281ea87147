#include "model/clsPanelSource.h"

#include "model/RowValues.h"
#include "services/modMain.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

const QString kModule = QStringLiteral("clsPanelSource");

// A loaded folder always ends with a separator, so the file in use is DestFolder & NewestFile.
QString FolderWithSeparator(const QString& folder) {
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + GetPathSeparator(folder);
}

void ReadDate(const db::Recordset& rs, const QString& column, QDateTime& field) {
    if (!rs.IsNull(column))
        field = rs.Date(column, field);
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

QDateTime clsPanelSource::NewestFileTime() const {
    if (NewestFile.isEmpty())
        return NoDate();
    QString path = DestFolder + NewestFile;
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
            QStringLiteral("SELECT * FROM DsbSavedPanel WHERE sourceID = ? and isCustom = 'Y'"),
            {SourceID}, true, kModule, QStringLiteral("chkHasCustom")) &&
        !rs->EOF_())
        HasCustom = true;
    return HasCustom;
}

bool clsPanelSource::LoadFromRecSet(const db::Recordset& rs) {
    int32_t id = 0;
    if (!ReadInt32(rs, QStringLiteral("ID"), id)) {
        LogError(kModule, QStringLiteral("LoadFromRecSet"), kOverflowErr,
                 OverflowText(QStringLiteral("ID"), rs.Field(QStringLiteral("ID"))), true);
        return false;
    }
    ID = id;
    ReadTextIfSet(rs, QStringLiteral("FullPath"), FullPath);
    ReadTextIfSet(rs, QStringLiteral("Mask"), Mask);
    ReadTextIfSet(rs, QStringLiteral("DestFolder"), DestFolder);
    if (!rs.IsNull(QStringLiteral("DestFolder")))
        DestFolder = FolderWithSeparator(DestFolder);
    ReadTextIfSet(rs, QStringLiteral("NewestFile"), NewestFile);
    ReadDate(rs, QStringLiteral("LastUpdated"), LastUpdated);
    ReadDate(rs, QStringLiteral("LastChecked"), LastChecked);
    if (!rs.IsNull(QStringLiteral("checkEveryNmin"))) {
        // Minutes beyond the 32-bit range mean "practically never"; the bound is as good.
        const qint64 minutes = rs.Number(QStringLiteral("checkEveryNmin"));
        CheckEvery = static_cast<int32_t>(std::clamp<qint64>(
            minutes, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }
    ReadTextIfSet(rs, QStringLiteral("UpdateType"), UpdateType);
    ReadTextIfSet(rs, QStringLiteral("SourceFolder"), SourceFolder);
    if (!rs.IsNull(QStringLiteral("SourceFolder")))
        SourceFolder = FolderWithSeparator(SourceFolder);
    ReadTextIfSet(rs, QStringLiteral("outlookFolder"), OLFolder);
    ReadTextIfSet(rs, QStringLiteral("outlookSubject"), OLSubject);
    ReadTextIfSet(rs, QStringLiteral("outlookSender"), OLSender);
    ReadTextIfSet(rs, QStringLiteral("outlookAttachment"), OLAttach);
    ReadTextIfSet(rs, QStringLiteral("MacroName"), Macro);
    ReadTextIfSet(rs, QStringLiteral("CmdLine"), CmdLine);
    ReadTextIfSet(rs, QStringLiteral("AddedParams"), AddedParams);
    CustomDate = LastUpdated;
    HasCustom = false;
    return true;
}

bool clsPanelSource::SaveToDB(db::Database* DB) { return ID < 1 ? InsertDB(DB) : UpdateDB(DB); }

bool clsPanelSource::InsertDB(db::Database* DB) {
    // Both times start at the moment of storing, whatever the record holds.
    const QDateTime now = QDateTime::currentDateTime();
    if (!SQL_Execute(
            DB,
            QStringLiteral("INSERT INTO DsbPanelSource(FullPath, Mask, DestFolder, NewestFile, "
                           "LastUpdated, LastChecked, CheckEveryNMin, UpdateType, SourceFolder, "
                           "OutlookFolder, OutlookSubject, OutlookSender, OutlookAttachment, "
                           "MacroName, CmdLine, AddedParams) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                           "?, ?, ?, ?, ?, ?, ?)"),
            {FullPath, Mask, DestFolder, NewestFile, now, now, CheckEvery, UpdateType, SourceFolder,
             OLFolder, OLSubject, OLSender, OLAttach, Macro, CmdLine, AddedParams},
            true, kModule, QStringLiteral("InsertDB")))
        return false;
    return InsertedKey(DB, kModule, QStringLiteral("InsertDB"), ID);
}

bool clsPanelSource::UpdateDB(db::Database* DB) {
    return SQL_Execute(
        DB,
        QStringLiteral("UPDATE DsbPanelSource SET Mask = ?, CheckEveryNMin = ?, UpdateType = ?, "
                       "FullPath = ?, SourceFolder = ?, DestFolder = ?, OutlookFolder = ?, "
                       "OutlookSubject = ?, OutlookSender = ?, OutlookAttachment = ?, "
                       "MacroName = ?, CmdLine = ?, AddedParams = ? WHERE ID = ?"),
        {Mask, CheckEvery, UpdateType, FullPath, SourceFolder, DestFolder, OLFolder, OLSubject,
         OLSender, OLAttach, Macro, CmdLine, AddedParams, ID},
        true, kModule, QStringLiteral("UpdateDB"));
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
