// Workbook steps of the update pass that need the workbook engine's writing half: the
// recalculation of a "refresh" source and the prepared copy of a source's custom panels.

#include "model/clsPanelSource.h"

#include "model/clsWorkspacePanel.h"
#include "services/modMain.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"
#include "platform/workbook/Error.h"
#include "platform/workbook/PackageWriter.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace {
const QString kModule = QStringLiteral("clsPanelSource");
}  // namespace

QString clsPanelSource::chkRefresh(QDateTime& Dt) {
    HiddenInstance hidden;
    ExcelApp& XL = hidden.XL;
    QString path;
    bool held = false;
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
        path = DestFolder + name;
        // A workbook still arriving is recalculated on a later pass, once it is whole.
        if (const QString why = VersionNotWhole(path); !why.isEmpty()) {
            LogEvent(kModule, QStringLiteral("chkRefresh"),
                     path + QStringLiteral(" is not recalculated yet: ") + why +
                         QStringLiteral(". The next update pass looks again."),
                     false);
            return QString();
        }
        if (!hidden.Start())
            return QString();
        XL->DisplayAlerts = false;
        xl::Workbook* wb = XL->Workbooks().Open(path);
        // The recalculation may leave background queries running; the save follows at once.
        wb->RefreshAll();
        const QString copy = RecalculatedCopy(name);
        const QString copyFolder = copy.isEmpty() ? QString() : QFileInfo(copy).absolutePath();
        held = !xl::LockFileOf(path).isEmpty();
        if (held) {
            // The user's spreadsheet has the workbook open (right after a paste it usually
            // does): written over, the file would no longer be what the spreadsheet holds, and
            // the user's next save there would undo it. The recalculated values go to a copy of
            // our own, which the panels show while it is newer than the workbook.
            if (copy.isEmpty())
                throw xl::Error(QStringLiteral("the source is not stored"));
            // The folder holds this one copy: one of a file no longer in use goes.
            QDir(copyFolder).removeRecursively();
            if (!QDir().mkpath(copyFolder))
                throw xl::Error(QStringLiteral("the folder %1 can't be made").arg(copyFolder));
            wb->SaveAs(copy);
            Dt = SourceFileTime(copy);
            hidden.Close();
            LogEvent(kModule, QStringLiteral("chkRefresh"),
                     path + QStringLiteral(" is open in another program: its recalculated values are "
                                           "shown from ") +
                         copy,
                     false);
            return name;
        }
        wb->Save();
        Dt = SourceFileTime(path);
        hidden.Close();
        // The workbook holds the newest values itself now.
        if (!copyFolder.isEmpty())
            QDir(copyFolder).removeRecursively();
        return name;
    } catch (const std::exception& e) {
        hidden.Close();
        if (held) {
            LogEvent(kModule, QStringLiteral("chkRefresh"),
                     QStringLiteral("Unable to recalculate ") + path +
                         QStringLiteral(" while it is open in another program: ") + QString::fromUtf8(e.what()) +
                         QStringLiteral(".\r\nSave and close it there, then refresh the dashboard."),
                     true);
        } else {
            LogError(kModule, QStringLiteral("chkRefresh"), ErrNum::kGeneral, QString::fromUtf8(e.what()),
                     true);
        }
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
