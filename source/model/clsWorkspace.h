#pragma once
// One dashboard: its DsbSavedWorkspace row and the ordered list of its panel records. Panel
// windows reach their record only by their index into this list.

#include "model/clsWorkspacePanel.h"
#include "platform/database/Database.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class clsWorkspace {
public:
    int32_t ID = 0;  // below 1 while the dashboard is not stored
    QString Name;
    QString Description;

    int16_t NumPanels() const { return static_cast<int16_t>(pPanels.size()); }
    // The panel at Index, 1 to NumPanels; nullptr outside.
    clsWorkspacePanel* Panels(int32_t Index) const;
    // The panel of lowest index with that ID; nullptr when none.
    clsWorkspacePanel* PanelsByID(int32_t ID) const;
    // Appends a new empty panel and returns its index; 0 when the list is full.
    int16_t AddPanel();
    // Removes panel Ndx (later panels move down by one); with DelFromDB its row and cached
    // picture are deleted first.
    void DelPanel(int32_t Ndx, bool DelFromDB);
    // Loads the row and its panel rows and stamps LastUpdated. False when the row is missing,
    // the dashboard has no panel, or some panel row could not be loaded.
    [[nodiscard]] bool LoadFromDB(int32_t WorkspaceID, db::Database* DB);
    // Stores the dashboard with all its panels in one transaction: whole or not at all. On
    // failure the record's and panels' IDs are as they were before the call.
    [[nodiscard]] bool SaveToDB(db::Database* DB);
    // Why the last SaveToDB stored nothing when the rows it was to update are gone (another
    // copy of the program deleted them); logged without a box, so the caller can offer to
    // store the dashboard anew.
    enum class GoneRows { None, Dashboard, Panels };
    [[nodiscard]] GoneRows RowsGone() const { return pRowsGone; }
    // Deletes the panel rows, their cached pictures and the dashboard row, in one transaction,
    // and empties the panel list. False (reported) when the rows could not be deleted: then
    // nothing is deleted and the record keeps its panels. A dashboard never stored has nothing
    // to delete: true, with its list as it was.
    [[nodiscard]] bool Delete(db::Database* DB);

    // Some stored panel row of this dashboard did not load; saving then deletes no row that
    // is missing from the list, since it may be one that never loaded.
    [[nodiscard]] bool PartlyLoaded() const { return pPartlyLoaded; }

private:
    [[nodiscard]] bool LoadPanelsFromDB(db::Database* DB);
    [[nodiscard]] bool UpdateDB(db::Database* DB);
    [[nodiscard]] bool InsertDB(db::Database* DB);
    [[nodiscard]] bool DelPanels(db::Database* DB);
    [[nodiscard]] bool DelOrphanPanels(db::Database* DB);
    // The stored panel rows of the dashboard; -1 when they could not be counted.
    int32_t CountPanels(db::Database* DB);
    [[nodiscard]] bool SavePanels(db::Database* DB);
    [[nodiscard]] bool StoredPanelIDs(db::Database* DB, const QString& procedure, std::vector<int32_t>& ids);

    std::vector<std::unique_ptr<clsWorkspacePanel>> pPanels;  // index 1 is pPanels[0]
    bool pPartlyLoaded = false;
    GoneRows pRowsGone = GoneRows::None;
    // Rows deleted inside the running save; their pictures go once the save is committed.
    std::vector<int32_t> pDeletedIDs;
};
