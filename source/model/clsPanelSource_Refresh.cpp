// Workbook steps of the update pass that need the workbook engine's writing half: the
// recalculation of a "refresh" source and the prepared copy of a source's custom panels.

#include "model/clsPanelSource.h"

#include "model/clsWorkspacePanel.h"
#include "services/modMain.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <exception>

namespace {
const QString kModule = QStringLiteral("clsPanelSource");
}  // namespace

QString clsPanelSource::chkRefresh(QDateTime& Dt) {
    HiddenInstance hidden;
    ExcelApp& XL = hidden.XL;
    try {
        // A source that has found no file in its folder yet (an imported one starts so) means
        // the workbook it was made from, under that workbook's own name.
        QString name = NewestFile;
        if (name.isEmpty()) {
            SplitPath(FullPath, nullptr, &name);
            if (name.isEmpty() || !FileExists(DestFolder + name)) {
                LogEvent(kModule, QStringLiteral("chkRefresh"),
                         QStringLiteral("Nothing to recalculate: no file in use and no ") +
                             (name.isEmpty() ? QStringLiteral("source workbook") : DestFolder + name),
                         false);
                return QString();
            }
        }
        // A workbook still arriving is recalculated on a later pass, once it is whole.
        if (const QString why = VersionNotWhole(DestFolder + name); !why.isEmpty()) {
            LogEvent(kModule, QStringLiteral("chkRefresh"),
                     DestFolder + name + QStringLiteral(" is not recalculated yet: ") + why +
                         QStringLiteral(". The next update pass looks again."),
                     false);
            return QString();
        }
        if (!hidden.Start())
            return QString();
        XL->DisplayAlerts = false;
        xl::Workbook* wb = XL->Workbooks().Open(DestFolder + name);
        // The recalculation may leave background queries running; the save follows at once.
        wb->RefreshAll();
        wb->Save();
        Dt = SourceFileTime(DestFolder + name);
        hidden.Close();
        return name;
    } catch (const std::exception& e) {
        hidden.Close();
        LogError(kModule, QStringLiteral("chkRefresh"), ErrNum::kGeneral, QString::fromUtf8(e.what()),
                 true);
    }
    return QString();
}

void clsPanelSource::DoPrep(db::Database* DB) {
    HiddenInstance hidden;
    ExcelApp& XL = hidden.XL;
    try {
        const QString prepped = Prepped();
        if (!File_Copy(DestFolder + NewestFile, prepped))
            return;
        std::unique_ptr<db::Recordset> rs;
        if (!SQL_OpenRecordset(DB, rs,
                               QStringLiteral("SELECT * FROM DsbSavedPanel WHERE SourceID = ? AND "
                                              "IsCustom = 'Y' COLLATE BINARY"),
                               {ID}, true, kModule, QStringLiteral("DoPrep")) ||
            rs->EOF_())
            return;
        if (!hidden.Start())
            return;
        XL->DisplayAlerts = false;
        xl::Workbook* copy = XL->Workbooks().Open(prepped);
        xl::Workbook* tmpl = XL->Workbooks().Open(CustomTemplate());
        for (; !rs->EOF_(); rs->MoveNext()) {
            xl::Worksheet* ws = copy->Sheets().Item(rs->Text(QStringLiteral("SheetName")));
            clsWorkspacePanel panel;
            if (!panel.LoadFromRecSet(DB, *rs))
                continue;
            if (panel.ContentType == PanelContent::Chart) {
                tmpl->Sheets().Item(QStringLiteral("PvChartCopy"))->ChartObjects().Item(panel.PicRange)->Copy();
                // Beside the data, so the chart covers none of the cells it shows.
                const xl::Range used = ws->UsedRange();
                const xl::Range target =
                    ws->Cells(used.Row(), used.Column() + static_cast<int32_t>(used.Columns().Count()));
                try {
                    target.Activate();
                } catch (const std::exception&) {
                    target.Select();
                }
                ws->Paste();
            } else {
                // A range that can't be found on this version (logged) gets nothing pasted.
                if (!panel.GetAdjRange(ws))
                    continue;
                tmpl->Sheets().Item(panel.SheetName)->Range(panel.movRange).Copy();
                ws->Activate();
                const xl::Range target = ws->Range(panel.adjMovRange());
                target.Select();
                ws->Paste(target);
            }
        }
        copy->Save();
        hidden.Close();
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("DoPrep"), ErrNum::kGeneral, QString::fromUtf8(e.what()), true);
        hidden.Close();
    }
}
