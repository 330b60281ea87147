#pragma once
// One panel of a dashboard: which source workbook, sheet and range (or chart, or picture file)
// it shows, how and where its window stands, and how its range is found again in a newer
// version of the workbook. Stored as one row of DsbSavedPanel.

#include "model/ModelDates.h"
#include "model/PanelCodes.h"
#include "platform/database/Database.h"

#include <QDateTime>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

class clsPanelSource;
namespace xl {
class Worksheet;
}
namespace columns {
template <class Record>
struct Column;
}

class clsWorkspacePanel {
public:
    // Stored fields (column names in the comments where they differ).
    int32_t ID = 0;        // below 1 while not stored; also names the cached picture
    int32_t SourceID = 0;  // DsbPanelSource.ID; 0 when none
    QString Comments;
    PanelContent ContentType = PanelContent::None;
    PanelPaste IsCustom = PanelPaste::None;
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
    PanelView ViewType = PanelView::None;
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

    [[nodiscard]] bool LoadFromDB(int32_t PanelID, db::Database* DB);
    // Fills the record from the current row. False, with nothing changed, when a number of the
    // row does not fit its field.
    [[nodiscard]] bool LoadFromRecSet(db::Database* DB, const db::Recordset& rs);
    [[nodiscard]] bool SaveToDB(db::Database* DB, int32_t WorkspaceID);
    // The last SaveToDB failed because the panel's row is no longer there (another copy of
    // the program deleted it); logged, without a box: the caller says what it means.
    [[nodiscard]] bool RowGone() const { return pRowGone; }
    // Deletes the row and, once it is gone, its cached picture.
    [[nodiscard]] bool Delete(db::Database* DB);
    void ClearSource();

    // ---- range capture (clsWorkspacePanel_Relocation.cpp) ----
    // Turns the user's selection and the window's panes (RangeDefs: the selection's address,
    // then a back-quote and each pane's visible range, the main pane last) into PicRange,
    // RowHeights and ColWidths. False after a message, or when the addresses can't be taken
    // (logged); the record is then not given a PicRange.
    [[nodiscard]] bool PasteRange(xl::Worksheet* UserWS, const QString& RangeDefs);
    // Append the runs of equal heights (widths) of rows (columns) start to last.
    void GetHeights(xl::Worksheet* ws, int32_t start, int32_t last);
    void GetWidths(xl::Worksheet* ws, int32_t start, int32_t last);

    // ---- range relocation ----
    // Finds where the stored range lies now (adjMovRange) by RelativeTo and sets the shift.
    // False, logged, when the stored texts can't be read or no range results: adjMovRange is
    // then the stored range unmoved (empty when even that is no address) and the shift 0.
    [[nodiscard]] bool GetAdjRange(xl::Worksheet* WSheet);
    // The picture range after GetAdjRange: the fixed area joined to the found range, with the
    // rows and columns between them hidden and the stored sizes applied to the sheet in
    // memory. "" (logged) when it can't be built.
    QString adjRange(xl::Worksheet* WSheet);
    // The stored range moved with the sheet's last used cell; throws xl::Error when there is
    // no last used cell on either side or an address can't be taken.
    QString FromBottomRight(xl::Worksheet* WSheet);
    // The stored range moved with the anchor cell found by its text; the stored range unmoved
    // when the anchor can't be found (logged).
    QString FromAnchor(xl::Worksheet* WSheet);
    // Relocates the range in a newer version and rewrites PicRange, RowHeights, ColWidths and
    // ContentMatch for good (not saved here). A relocation that can't be completed changes
    // none of them and is logged.
    void AdjustAll(xl::Worksheet* ws);
    // Applies the stored heights and widths to the sheet, the range's runs moved by the shift.
    void adjHeightWidths(xl::Worksheet* ws);
    // Reads bottom cell, anchor cell and anchor text out of ContentMatch (model/ContentMatch.h).
    void parseContentMatch(QString& botRng, QString& aRng, QString& Content) const;
    // Makes the first visible non-empty cell of adjMovRange the anchor.
    void SetAnchorDefaults(xl::Worksheet* ws);
    // Rows and columns by which the last relocation moved the range.
    int32_t RowShift() const { return pRowShift; }
    int32_t ColShift() const { return pColShift; }

    // ---- threshold highlighting (clsWorkspacePanel_Thresholds.cpp) ----
    // Colours the cells of the panel's threshold rules whose values pass their tests.
    void lightCells(xl::Worksheet* ws, db::Database* DB);
    // Where the rule's stored cell (row, column) lies after the last relocation, as "E13";
    // throws xl::Error when that is outside the grid.
    QString MapCell(int32_t RowOff, int32_t ColOff, xl::Worksheet* ws);

private:
    // The row's columns; a member, so that it reaches the codes kept below.
    static const std::vector<columns::Column<clsWorkspacePanel>>& StoredColumns();
    [[nodiscard]] bool InsertDB(db::Database* DB, int32_t WorkspaceID);
    [[nodiscard]] bool UpdateDB(db::Database* DB, int32_t WorkspaceID);

    [[nodiscard]] bool CaptureSelection(xl::Worksheet* ws, const QString& RangeDefs);
    void BuildPicRange();
    void CaptureHeightsWidths(xl::Worksheet* ws);
    // GetAdjRange without its report: false with the reason in `why`.
    [[nodiscard]] bool LocateRange(xl::Worksheet* WSheet, QString& why);
    // These throw xl::Error; their public callers trap it.
    void ParsePicRange();
    void CalcPicRange(xl::Worksheet* ws);
    void ShiftHeightsWidths(xl::Worksheet* ws);

    // The fixed area and the last relocation, decoded from and built into PicRange.
    int32_t pFixRow1 = 0;   // first fixed row, 0 when none
    int32_t pFixRow2 = 0;   // last fixed row
    QString pFixCol1;       // first fixed column letters, empty when none
    QString pFixCol2;       // last fixed column letters
    int32_t pRowShift = 0;  // rows the last relocation moved the range by
    int32_t pColShift = 0;  // columns the last relocation moved the range by
    QString pAdjPicRange;   // the picture range: fixed area plus the moved range

    // A code of the row that this version does not know (another version or tool wrote it, or
    // wrote it in another letter case) reads as None and is kept here, to be written back as it
    // was while the kind stays None. Empty for a known code.
    QString pOtherContent;
    QString pOtherPaste;
    QString pOtherView;
    bool pRowGone = false;
};

// The cached picture of a panel: Panels/<ID>.bmp beside the program ("" when the folder
// can't be made).
QString PanelPicturePath(int32_t panelID);
// Writes a panel's picture to its cache file whole or not at all, so that a full disk never
// leaves a picture cut short to be shown as noise later. "" when written, otherwise why not (a
// full disk named as such); the cache file is then as it was. Safe on any thread.
QString WritePanelPicture(const QImage& picture, const QString& path);
// Removes a panel's cached picture when there is one; a picture that can't be removed is
// logged, since a later panel must never show it.
void DeletePanelPicture(int32_t panelID);
