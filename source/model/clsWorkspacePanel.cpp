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

const QStringList kDashboardColumn = {QStringLiteral("WorkspaceID")};

// A column of a kind stored as its code. While the kind is None, the code is that of another
// version which the row held, so that a save of this one does not lose it.
template <auto Kind, auto Other, auto FromCode>
columns::Column<Panel> CodeColumn(const char* name) {
    return {.name = name,
            .field = std::monostate(),
            .stored = [](const Panel& p, const QDateTime&) {
                const QString known = StoredCode(p.*Kind);
                return QVariant(known.isEmpty() ? p.*Other : known);
            },
            .fromCode = [](Panel& p, const QString& code) {
                p.*Kind = FromCode(code);
                p.*Other = p.*Kind == decltype(FromCode(code))::None ? code : QString();
            }};
}

}  // namespace

// The row of DsbSavedPanel: the columns a panel reads, inserts and updates, in the order the
// statements name them. WorkspaceID is not a field: the save is told the dashboard.
const std::vector<columns::Column<Panel>>& clsWorkspacePanel::StoredColumns() {
    using columns::kRead;
    static const std::vector<columns::Column<Panel>> table = {
        {.name = "ID", .field = &Panel::ID, .use = kRead},
        {.name = "SourceID", .field = &Panel::SourceID},
        {.name = "Comments", .field = &Panel::Comments},
        CodeColumn<&Panel::ContentType, &Panel::pOtherContent, &ContentFromCode>("ContentType"),
        {.name = "SheetName", .field = &Panel::SheetName},
        CodeColumn<&Panel::ViewType, &Panel::pOtherView, &ViewFromCode>("ViewType"),
        {.name = "Caption", .field = &Panel::Caption},
        {.name = "PicRange", .field = &Panel::PicRange},
        {.name = "RowHeights", .field = &Panel::RowHeights},
        {.name = "ColWidths", .field = &Panel::ColWidths},
        {.name = "RelativeTo", .field = &Panel::RelativeTo},
        {.name = "ContentMatch", .field = &Panel::ContentMatch},
        CodeColumn<&Panel::IsCustom, &Panel::pOtherPaste, &PasteFromCode>("IsCustom"),
        {.name = "LastViewed", .field = &Panel::LastViewed, .nullIsEmpty = true},
        {.name = "[Top]", .field = &Panel::pTop},
        {.name = "[Left]", .field = &Panel::pLeft},
        {.name = "Height", .field = &Panel::pHeight},
        {.name = "Width", .field = &Panel::pWidth},
    };
    return table;
}

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
    pRowGone = false;
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
    if (!SQL_Execute(DB,
                     columns::UpdateStatement("DsbSavedPanel", StoredColumns(), kDashboardColumn),
                     columns::UpdateValues(*this, StoredColumns(), ID, {WorkspaceID}), true,
                     kModule, QStringLiteral("UpdateDB")))
        return false;
    // An update that finds no row stores nothing: the program does not keep a second copy of
    // itself from deleting the row meanwhile.
    if (DB->Changes() > 0)
        return true;
    pRowGone = true;
    LogError(kModule, QStringLiteral("UpdateDB"), ErrNum::kRowDeleted,
             QStringLiteral("Panel ") + QString::number(ID) +
                 QStringLiteral(" is no longer in the repository; nothing was stored."),
             false);
    return false;
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
    pOtherContent.clear();
    pOtherPaste.clear();
    pOtherView.clear();
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
