#pragma once
// One panel of a dashboard: which source workbook, sheet and range (or chart, or picture file)
// it shows, how and where its window stands, and how its range is found again in a newer
// version of the workbook. Stored as one row of DsbSavedPanel.

#include "model/ModelDates.h"
#include "platform/database/Database.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

class clsPanelSource;
namespace xl {
class Worksheet;
}

class clsWorkspacePanel {
public:
    // Stored fields (column names in the comments where they differ).
    int32_t ID = 0;        // below 1 while not stored; also names the cached picture
    int32_t SourceID = 0;  // DsbPanelSource.ID; 0 when none
    QString Comments;
    QString ContentType;  // "S" range, "C" chart, "P" picture file, "M" read as a range
    QString IsCustom;     // "Y" custom paste, "N" ordinary
    QString SheetName;
    QString PicRange;  // range`fixed rows`fixed columns; a chart panel's chart name
    QString RowHeights;
    QString ColWidths;
    QString RelativeTo;    // "top", "bottom" or "contents"
    QString ContentMatch;  // bottom cell, anchor cell and anchor text
    int32_t pLeft = 0;     // [Left], twips
    int32_t pTop = 0;      // [Top], twips
    int32_t pWidth = 0;    // Width, twips
    int32_t pHeight = 0;   // Height, twips
    QString ViewType;      // "A" autosize, "C" crop, "Z" zoom to fit
    QDateTime LastViewed = NoDate();
    QString Caption;

    // Working fields of range relocation; never stored.
    QString movRange;         // the stored range, the first part of PicRange
    QString pAdjMovRange;     // the range found in the current version of the sheet
    QString NewCell;          // address of the anchor cell
    QString Content;          // text of the anchor cell
    bool anchorRows = false;  // the anchor's row is absolute
    bool anchorCols = false;  // the anchor's column is absolute

    QString adjPicRange() const { return pAdjPicRange; }
    QString adjMovRange() const { return pAdjMovRange; }
    // The registered source of SourceID, or nullptr when the registry holds none.
    clsPanelSource* Source() const;

    bool LoadFromDB(int32_t PanelID, db::Database* DB);
    // Fills the record from the current row. False, with nothing changed, when a number of the
    // row does not fit its field.
    bool LoadFromRecSet(db::Database* DB, const db::Recordset& rs);
    bool SaveToDB(db::Database* DB, int32_t WorkspaceID);
    // Deletes the row and, once it is gone, its cached picture.
    bool Delete(db::Database* DB);
    void ClearSource();
    // Locates the stored range again in a newer version of its sheet and rebuilds the stored
    // texts from it; a range that can't be located leaves them as they were.
    void AdjustAll(xl::Worksheet* ws);
    // Finds where the stored range lies in the sheet now: adjMovRange afterwards.
    void GetAdjRange(xl::Worksheet* WSheet);

private:
    bool InsertDB(db::Database* DB, int32_t WorkspaceID);
    bool UpdateDB(db::Database* DB, int32_t WorkspaceID);

    // The fixed area and the last relocation, decoded from and built into PicRange.
    int32_t pFixRow1 = 0;   // first fixed row, 0 when none
    int32_t pFixRow2 = 0;   // last fixed row
    QString pFixCol1;       // first fixed column letters, empty when none
    QString pFixCol2;       // last fixed column letters
    int32_t pRowShift = 0;  // rows the last relocation moved the range by
    int32_t pColShift = 0;  // columns the last relocation moved the range by
    QString pAdjPicRange;   // the picture range: fixed area plus the moved range
};

// The cached picture of a panel: Panels/<ID>.bmp beside the program ("" when the folder
// can't be made).
QString PanelPicturePath(int32_t panelID);
// Removes a panel's cached picture when there is one; a picture that can't be removed is
// logged, since a later panel must never show it.
void DeletePanelPicture(int32_t panelID);
