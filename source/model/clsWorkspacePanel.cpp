#include "model/clsWorkspacePanel.h"

#include "model/Globals.h"
#include "model/RecordColumns.h"
#include "model/RowValues.h"
#include "services/modMain.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QFile>
#include <QImageWriter>

namespace {

const QString kModule = QStringLiteral("clsWorkspacePanel");
using Panel = clsWorkspacePanel;

// The row of DsbSavedPanel: the columns a panel reads, inserts and updates, in the order the
// statements name them. WorkspaceID is not a field: the save is told the dashboard.
const std::vector<columns::Column<Panel>>& StoredColumns() {
    using columns::kRead;
    static const std::vector<columns::Column<Panel>> table = {
        {.name = "ID", .field = &Panel::ID, .use = kRead},
        {.name = "SourceID", .field = &Panel::SourceID},
        {.name = "Comments", .field = &Panel::Comments},
        {.name = "ContentType",
         .field = std::monostate(),
         .stored = [](const Panel& p, const QDateTime&) { return QVariant(StoredCode(p.ContentType)); },
         .fromCode = [](Panel& p, const QString& code) { p.ContentType = ContentFromCode(code); }},
        {.name = "SheetName", .field = &Panel::SheetName},
        {.name = "ViewType",
         .field = std::monostate(),
         .stored = [](const Panel& p, const QDateTime&) { return QVariant(StoredCode(p.ViewType)); },
         .fromCode = [](Panel& p, const QString& code) { p.ViewType = ViewFromCode(code); }},
        {.name = "Caption", .field = &Panel::Caption},
        {.name = "PicRange", .field = &Panel::PicRange},
        {.name = "RowHeights", .field = &Panel::RowHeights},
        {.name = "ColWidths", .field = &Panel::ColWidths},
        {.name = "RelativeTo", .field = &Panel::RelativeTo},
        {.name = "ContentMatch", .field = &Panel::ContentMatch},
        {.name = "IsCustom",
         .field = std::monostate(),
         .stored = [](const Panel& p, const QDateTime&) { return QVariant(StoredCode(p.IsCustom)); },
         .fromCode = [](Panel& p, const QString& code) { p.IsCustom = PasteFromCode(code); }},
        {.name = "LastViewed", .field = &Panel::LastViewed, .nullIsEmpty = true},
        {.name = "[Top]", .field = &Panel::pTop},
        {.name = "[Left]", .field = &Panel::pLeft},
        {.name = "Height", .field = &Panel::pHeight},
        {.name = "Width", .field = &Panel::pWidth},
    };
    return table;
}

const QStringList kDashboardColumn = {QStringLiteral("WorkspaceID")};

}  // namespace

QString PanelPicturePath(int32_t panelID) {
    const QString folder = GetPanelsFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QString::number(panelID) + QStringLiteral(".bmp");
}

QString WritePanelPicture(const QImage& picture, const QString& path) {
    WholeFile file(path);
    QImageWriter writer(file.Device(), "BMP");
    const bool written = writer.write(picture);
    if (written && file.Commit())
        return QString();
    if (file.Error())
        return WriteFailureText(file.Error(), path);
    return writer.errorString();
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
    QString refused;
    if (!columns::Read(*this, rs, StoredColumns(), &refused)) {
        LogError(kModule, QStringLiteral("LoadFromRecSet"), kOverflowErr,
                 OverflowText(refused, rs.Field(refused)), true);
        return false;
    }
    movRange.clear();
    pAdjMovRange.clear();
    pAdjPicRange.clear();
    NewCell.clear();
    Content.clear();
    pRowShift = 0;
    pColShift = 0;
    return true;
}

bool clsWorkspacePanel::SaveToDB(db::Database* DB, int32_t WorkspaceID) {
    return ID < 1 ? InsertDB(DB, WorkspaceID) : UpdateDB(DB, WorkspaceID);
}

bool clsWorkspacePanel::InsertDB(db::Database* DB, int32_t WorkspaceID) {
    if (!SQL_Execute(DB, columns::InsertStatement("DsbSavedPanel", StoredColumns(), kDashboardColumn),
                     columns::InsertValues(*this, StoredColumns(), {WorkspaceID}), true, kModule,
                     QStringLiteral("InsertDB")))
        return false;
    // The same row the highest key of the dashboard would name, without depending on no other
    // panel of the dashboard being inserted in between.
    return InsertedKey(DB, kModule, QStringLiteral("InsertDB"), ID);
}

bool clsWorkspacePanel::UpdateDB(db::Database* DB, int32_t WorkspaceID) {
    return SQL_Execute(DB, columns::UpdateStatement("DsbSavedPanel", StoredColumns(), kDashboardColumn),
                       columns::UpdateValues(*this, StoredColumns(), ID, {WorkspaceID}), true,
                       kModule, QStringLiteral("UpdateDB"));
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
    ContentType = PanelContent::None;
    IsCustom = PanelPaste::None;
    SheetName.clear();
    PicRange.clear();
    RelativeTo.clear();
    ContentMatch.clear();
    ViewType = PanelView::None;
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
