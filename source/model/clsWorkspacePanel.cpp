#include "model/clsWorkspacePanel.h"

#include "model/Globals.h"
#include "model/RowValues.h"
#include "services/modMain.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QFile>

#include <limits>

namespace {

const QString kModule = QStringLiteral("clsWorkspacePanel");

}  // namespace

QString PanelPicturePath(int32_t panelID) {
    const QString folder = GetPanelsFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QString::number(panelID) + QStringLiteral(".bmp");
}

void DeletePanelPicture(int32_t panelID) {
    if (panelID < 1)
        return;
    const QString path = PanelPicturePath(panelID);
    if (path.isEmpty() || !QFile::exists(path))
        return;
    if (!QFile::remove(path))
        LogEvent(kModule, QStringLiteral("Delete"),
                 QStringLiteral("The cached picture ") + path +
                     QStringLiteral(" could not be deleted."));
}

clsPanelSource* clsWorkspacePanel::Source() const {
    return gSources ? gSources->Source(SourceID) : nullptr;
}

bool clsWorkspacePanel::LoadFromDB(int32_t PanelID, db::Database* DB) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs, QStringLiteral("SELECT * FROM DsbSavedPanel WHERE ID = ?"),
                           {PanelID}, true, kModule, QStringLiteral("LoadFromDB")))
        return false;
    if (rs->EOF_())
        return false;
    return LoadFromRecSet(DB, *rs);
}

bool clsWorkspacePanel::LoadFromRecSet(db::Database* /*DB*/, const db::Recordset& rs) {
    // The numbers are checked before anything changes, so a row that can't be loaded leaves no
    // half-filled record behind that a later save would write over the row.
    int32_t id = 0, left = 0, top = 0, width = 0, height = 0, sourceID = 0;
    const std::pair<const char*, int32_t*> numbers[] = {
        {"ID", &id},       {"Left", &left},     {"Top", &top},
        {"Width", &width}, {"Height", &height}, {"SourceID", &sourceID}};
    for (const auto& [column, field] : numbers) {
        const QString name = QString::fromLatin1(column);
        if (!ReadInt32(rs, name, *field)) {
            LogError(kModule, QStringLiteral("LoadFromRecSet"), kOverflowErr,
                     OverflowText(name, rs.Field(name)), true);
            return false;
        }
    }

    LastViewed = NoDate();
    movRange.clear();
    pAdjMovRange.clear();
    pAdjPicRange.clear();
    NewCell.clear();
    Content.clear();
    pRowShift = 0;
    pColShift = 0;

    ID = id;
    pLeft = left;
    pTop = top;
    pWidth = width;
    pHeight = height;
    SourceID = sourceID;

    ReadTextIfSet(rs, QStringLiteral("Comments"), Comments);
    ReadTextIfSet(rs, QStringLiteral("ContentType"), ContentType);
    ReadTextIfSet(rs, QStringLiteral("SheetName"), SheetName);
    ReadTextIfSet(rs, QStringLiteral("PicRange"), PicRange);
    ReadTextIfSet(rs, QStringLiteral("RowHeights"), RowHeights);
    ReadTextIfSet(rs, QStringLiteral("ColWidths"), ColWidths);
    ReadTextIfSet(rs, QStringLiteral("RelativeTo"), RelativeTo);
    ReadTextIfSet(rs, QStringLiteral("ContentMatch"), ContentMatch);
    ReadTextIfSet(rs, QStringLiteral("ViewType"), ViewType);
    LastViewed = rs.Date(QStringLiteral("LastViewed"), NoDate());
    ReadTextIfSet(rs, QStringLiteral("Caption"), Caption);
    ReadTextIfSet(rs, QStringLiteral("IsCustom"), IsCustom);
    return true;
}

bool clsWorkspacePanel::SaveToDB(db::Database* DB, int32_t WorkspaceID) {
    return ID < 1 ? InsertDB(DB, WorkspaceID) : UpdateDB(DB, WorkspaceID);
}

bool clsWorkspacePanel::InsertDB(db::Database* DB, int32_t WorkspaceID) {
    if (!SQL_Execute(
            DB,
            QStringLiteral("INSERT INTO DsbSavedPanel(WorkspaceID, SourceID, Comments, "
                           "ContentType, SheetName, ViewType, Caption, "
                           "PicRange, RowHeights, ColWidths, RelativeTo, ContentMatch, isCustom, "
                           "LastViewed, [Top], [Left], Height, Width) VALUES (?, ?, ?, ?, ?, ?, "
                           "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {WorkspaceID, SourceID, Comments, ContentType, SheetName, ViewType, Caption, PicRange,
             RowHeights, ColWidths, RelativeTo, ContentMatch, IsCustom, LastViewed, pTop, pLeft,
             pHeight, pWidth},
            true, kModule, QStringLiteral("InsertDB")))
        return false;
    // The same row the highest key of the dashboard would name, without depending on no other
    // panel of the dashboard being inserted in between.
    return InsertedKey(DB, kModule, QStringLiteral("InsertDB"), ID);
}

bool clsWorkspacePanel::UpdateDB(db::Database* DB, int32_t WorkspaceID) {
    return SQL_Execute(
        DB,
        QStringLiteral("UPDATE DsbSavedPanel SET WorkspaceID = ?, SourceID = ?, Comments = ?, "
                       "ContentType = ?, SheetName = ?, ViewType = ?, Caption = ?, "
                       "PicRange = ?, RowHeights = ?, ColWidths = ?, RelativeTo = ?, "
                       "ContentMatch = ?, IsCustom = ?, LastViewed = ?, [Top] = ?, "
                       "[Left] = ?, Height = ?, Width = ? WHERE ID = ?"),
        {WorkspaceID, SourceID, Comments, ContentType, SheetName, ViewType, Caption, PicRange,
         RowHeights, ColWidths, RelativeTo, ContentMatch, IsCustom, LastViewed, pTop, pLeft,
         pHeight, pWidth, ID},
        true, kModule, QStringLiteral("UpdateDB"));
}

bool clsWorkspacePanel::Delete(db::Database* DB) {
    if (!SQL_Execute(DB, QStringLiteral("DELETE FROM DsbSavedPanel WHERE ID = ?"), {ID}, true,
                     kModule, QStringLiteral("Delete")))
        return false;
    DeletePanelPicture(ID);
    return true;
}

void clsWorkspacePanel::ClearSource() {
    SourceID = 0;
    Comments.clear();
    ContentType.clear();
    IsCustom.clear();
    SheetName.clear();
    PicRange.clear();
    RelativeTo.clear();
    ContentMatch.clear();
    ViewType.clear();
    Caption.clear();
    movRange.clear();
    pAdjMovRange.clear();
    pAdjPicRange.clear();
    NewCell.clear();
    Content.clear();
    LastViewed = NoDate();
    pRowShift = 0;
    pColShift = 0;
}
