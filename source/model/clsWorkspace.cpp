#include "model/clsWorkspace.h"

#include "model/RecordColumns.h"
#include "model/RowValues.h"
#include "services/modMain.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <algorithm>
#include <limits>

namespace {

const QString kModule = QStringLiteral("clsWorkspace");
using Dashboard = clsWorkspace;

// The row of DsbSavedWorkspace as a dashboard reads and writes it. Every save stamps the time,
// which orders the most recently used lists.
const std::vector<columns::Column<Dashboard>>& StoredColumns() {
    static const std::vector<columns::Column<Dashboard>> table = {
        {.name = "Name", .field = &Dashboard::Name, .nullIsEmpty = true},
        {.name = "Description", .field = &Dashboard::Description, .nullIsEmpty = true},
        {.name = "LastUpdated",
         .field = std::monostate(),
         .use = columns::kInsert | columns::kUpdate,
         .stored = columns::Now<Dashboard>},
    };
    return table;
}

// The list is indexed by 16-bit numbers throughout the windows.
constexpr size_t kMaxPanels = std::numeric_limits<int16_t>::max();

}  // namespace

clsWorkspacePanel* clsWorkspace::Panels(int32_t Index) const {
    if (Index < 1 || Index > static_cast<int32_t>(pPanels.size()))
        return nullptr;
    return pPanels[static_cast<size_t>(Index - 1)].get();
}

clsWorkspacePanel* clsWorkspace::PanelsByID(int32_t ID) const {
    for (const auto& panel : pPanels)
        if (panel->ID == ID)
            return panel.get();
    return nullptr;
}

int16_t clsWorkspace::AddPanel() {
    if (pPanels.size() >= kMaxPanels)
        return 0;
    pPanels.push_back(std::make_unique<clsWorkspacePanel>());
    return NumPanels();
}

void clsWorkspace::DelPanel(int32_t Ndx, bool DelFromDB) {
    clsWorkspacePanel* panel = Panels(Ndx);
    if (!panel)
        return;
    // A row that could not be deleted (reported) goes with the dashboard's next save, which
    // deletes the rows of the panels it no longer holds.
    if (DelFromDB)
        (void)panel->Delete(gDB.get());
    pPanels.erase(pPanels.begin() + (Ndx - 1));
}

bool clsWorkspace::LoadFromDB(int32_t WorkspaceID, db::Database* DB) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs, QStringLiteral("SELECT * FROM DsbSavedWorkspace WHERE ID = ?"),
                           {WorkspaceID}, true, kModule, QStringLiteral("LoadFromDB")))
        return false;
    if (rs->EOF_() || !columns::Read(*this, *rs, StoredColumns(), nullptr))
        return false;
    ID = WorkspaceID;
    // Opening counts as use: the most recently used lists are ordered by this time. A time
    // that can't be stored (reported) does not keep the dashboard from opening, and a
    // repository that can't be written at all is only logged here: opening is no save.
    {
        const QuietWriteRefusals quiet;
        (void)SQL_Execute(
            DB, QStringLiteral("UPDATE DsbSavedWorkspace SET LastUpdated = ? WHERE ID = ?"),
            {QDateTime::currentDateTime(), WorkspaceID}, true, kModule,
            QStringLiteral("LoadFromDB"));
    }
    return LoadPanelsFromDB(DB);
}

bool clsWorkspace::LoadPanelsFromDB(db::Database* DB) {
    pPanels.clear();
    pPartlyLoaded = false;
    if (ID < 1)
        return false;
    const int32_t count = CountPanels(DB);
    if (count < 0)
        pPartlyLoaded = true;  // the rows are there or not: either way none may be deleted
    if (count < 1)
        return false;

    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(
            DB, rs,
            QStringLiteral("SELECT * FROM DsbSavedPanel WHERE WorkspaceID = ? ORDER BY SourceID"),
            {ID}, true, kModule, QStringLiteral("LoadPanelsFromDB")) ||
        rs->EOF_()) {
        pPartlyLoaded = true;
        return false;
    }
    // A row that can't be loaded is left out of the list rather than kept half-filled, and
    // the dashboard remembers that its list is not all of its rows.
    for (; !rs->EOF_(); rs->MoveNext()) {
        if (pPanels.size() >= kMaxPanels) {
            LogError(kModule, QStringLiteral("LoadPanelsFromDB"), kOverflowErr,
                     QStringLiteral("Overflow: the dashboard holds more than ") +
                         QString::number(kMaxPanels) + QStringLiteral(" panels."),
                     true);
            pPartlyLoaded = true;
            break;
        }
        auto panel = std::make_unique<clsWorkspacePanel>();
        if (panel->LoadFromRecSet(DB, *rs))
            pPanels.push_back(std::move(panel));
        else
            pPartlyLoaded = true;
    }
    return !pPartlyLoaded;
}

int32_t clsWorkspace::CountPanels(db::Database* DB) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(
            DB, rs,
            QStringLiteral(
                "SELECT COUNT(*) AS PanelCount FROM DsbSavedPanel WHERE WorkspaceID = ?"),
            {ID}, true, kModule, QStringLiteral("CountPanels")))
        return -1;
    if (rs->EOF_())
        return 0;
    return static_cast<int32_t>(std::min<qint64>(rs->Number(QStringLiteral("PanelCount")),
                                                 std::numeric_limits<int32_t>::max()));
}

bool clsWorkspace::SaveToDB(db::Database* DB) {
    // A rolled-back insert hands out keys that no row keeps; the record must not keep them,
    // or the next save would update rows that do not exist.
    const int32_t savedID = ID;
    std::vector<int32_t> savedPanelIDs;
    for (const auto& panel : pPanels)
        savedPanelIDs.push_back(panel->ID);

    pDeletedIDs.clear();
    pRowsGone = GoneRows::None;
    const bool ok = SQL_InTransaction(DB, true, kModule, QStringLiteral("SaveToDB"),
                                      [&] { return ID < 1 ? InsertDB(DB) : UpdateDB(DB); });
    if (!ok) {
        ID = savedID;
        for (size_t i = 0; i < pPanels.size(); ++i)
            pPanels[i]->ID = savedPanelIDs[i];
        pDeletedIDs.clear();
        return false;
    }
    for (const int32_t id : pDeletedIDs)
        DeletePanelPicture(id);
    pDeletedIDs.clear();
    return true;
}

bool clsWorkspace::InsertDB(db::Database* DB) {
    if (!SQL_Execute(DB, columns::InsertStatement("DsbSavedWorkspace", StoredColumns()),
                     columns::InsertValues(*this, StoredColumns()), true, kModule,
                     QStringLiteral("InsertDB")))
        return false;
    // Names compare without regard to case and imports bring their own, so a lookup by name
    // could find another dashboard.
    return InsertedKey(DB, kModule, QStringLiteral("InsertDB"), ID) && SavePanels(DB);
}

bool clsWorkspace::UpdateDB(db::Database* DB) {
    if (!DelOrphanPanels(DB))
        return false;
    if (!SQL_Execute(DB, columns::UpdateStatement("DsbSavedWorkspace", StoredColumns()),
                     columns::UpdateValues(*this, StoredColumns(), ID), true, kModule,
                     QStringLiteral("UpdateDB")))
        return false;
    // No row to update: a second copy of the program deleted the dashboard, and a save that
    // went on would store panels of a dashboard no list shows.
    if (DB->Changes() == 0) {
        pRowsGone = GoneRows::Dashboard;
        LogError(kModule, QStringLiteral("UpdateDB"), ErrNum::kRowDeleted,
                 QStringLiteral("Dashboard ") + QString::number(ID) + QStringLiteral(" (") + Name +
                     QStringLiteral(") is no longer in the repository; nothing was stored."),
                 false);
        return false;
    }
    return SavePanels(DB);
}

// Stops at the first failure: the whole save is rolled back anyway, and the user sees one
// report rather than one per panel.
bool clsWorkspace::SavePanels(db::Database* DB) {
    for (const auto& panel : pPanels) {
        if (!panel->SaveToDB(DB, ID)) {
            if (panel->RowGone())
                pRowsGone = GoneRows::Panels;
            return false;
        }
    }
    return true;
}

bool clsWorkspace::StoredPanelIDs(db::Database* DB, const QString& procedure,
                                  std::vector<int32_t>& ids) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs,
                           QStringLiteral("SELECT ID FROM DsbSavedPanel WHERE WorkspaceID = ?"),
                           {ID}, true, kModule, procedure))
        return false;
    for (; !rs->EOF_(); rs->MoveNext()) {
        int32_t id = 0;
        if (ReadInt32(*rs, QStringLiteral("ID"), id))
            ids.push_back(id);
    }
    return true;
}

bool clsWorkspace::DelOrphanPanels(db::Database* DB) {
    // Rows that never loaded are missing from the list without having been removed; telling
    // them from removed panels is impossible, so none is deleted.
    if (pPartlyLoaded || pPanels.empty())
        return true;
    std::vector<int32_t> stored;
    if (!StoredPanelIDs(DB, QStringLiteral("DelOrphanPanels"), stored))
        return false;
    // Deleted one by one, so the cached pictures removed afterwards are exactly those of the
    // rows deleted, and no statement outgrows the engine's limit on bound values.
    for (const int32_t id : stored) {
        if (PanelsByID(id))
            continue;
        if (!SQL_Execute(
                DB, QStringLiteral("DELETE FROM DsbSavedPanel WHERE WorkspaceID = ? AND ID = ?"),
                {ID, id}, true, kModule, QStringLiteral("DelOrphanPanels")))
            return false;
        pDeletedIDs.push_back(id);
    }
    return true;
}

bool clsWorkspace::DelPanels(db::Database* DB) {
    std::vector<int32_t> stored;
    if (!StoredPanelIDs(DB, QStringLiteral("DelPanels"), stored))
        return false;
    if (!SQL_Execute(DB, QStringLiteral("DELETE FROM DsbSavedPanel WHERE WorkspaceID = ?"), {ID},
                     true, kModule, QStringLiteral("DelPanels")))
        return false;
    pDeletedIDs.insert(pDeletedIDs.end(), stored.begin(), stored.end());
    return true;
}

bool clsWorkspace::Delete(db::Database* DB) {
    if (ID < 1)
        return true;
    pDeletedIDs.clear();
    const bool ok = SQL_InTransaction(DB, true, kModule, QStringLiteral("DelSelf"), [&] {
        return DelPanels(DB) &&
               SQL_Execute(DB, QStringLiteral("DELETE FROM DsbSavedWorkspace WHERE ID = ?"), {ID},
                           true, kModule, QStringLiteral("DelSelf"));
    });
    if (ok) {
        pPanels.clear();
        for (const int32_t id : pDeletedIDs)
            DeletePanelPicture(id);
    }
    pDeletedIDs.clear();
    return ok;
}
