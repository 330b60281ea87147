#include "services/RepositoryTables.h"

const std::vector<RepositoryTable>& RepositoryTables() {
    static const std::vector<RepositoryTable> tables = {
        {QStringLiteral("DsbSavedWorkspace"),
         {"ID", "Name", "Description", "LastUpdated", "Template", "Selected", "Status", "Comments",
          "LastViewed"},
         {"ID"},
         true},
        {QStringLiteral("DsbSavedPanel"),
         {"ID", "WorkspaceID", "SourceID", "Ndx", "Comments", "ContentType", "IsCustom",
          "SheetName", "PicRange", "RowHeights", "ColWidths", "RelativeTo", "ContentMatch", "Top",
          "Left", "Height", "Width", "ViewType", "LastViewed", "Caption"},
         {"ID", "WorkspaceID", "SourceID"},
         true},
        {QStringLiteral("DsbPanelSource"),
         {"ID", "FullPath", "Mask", "DestFolder", "NewestFile", "LastUpdated", "LastChecked",
          "CheckEveryNMin", "UpdateType", "SourceFolder", "OutlookFolder", "OutlookSubject",
          "OutlookSender", "OutlookAttachment", "MacroName", "CmdLine", "AddedParams"},
         {"ID"},
         true},
        {QStringLiteral("DsbAltPaths"), {"BasePath", "AltPath"}, {}, true},
        {QStringLiteral("DsbpanelThresholds"),
         {"ID", "PanelID", "rowOffset", "colOffset", "highExp", "ifHigh", "lowExp", "ifLow"},
         {"ID", "PanelID"},
         false},
        {QStringLiteral("DsbSystem"), {"PropertyKey", "PropertyValue"}, {}, false},
        {QStringLiteral("DsbDrillback"),
         {"ID", "PanelSourceID", "Sheet", "SourceDocID"},
         {"ID", "PanelSourceID", "SourceDocID"},
         false},
        {QStringLiteral("DsbSourceDoc"),
         {"ID", "Mask", "NewestFile", "SourceFolder", "DefaultFolder", "DrillbackType",
          "DrillbackUsing", "Path1", "Path2", "Path3", "Param1", "Param2", "Param3", "Param4",
          "Param5"},
         {"ID"},
         false},
    };
    return tables;
}

QStringList RepositoryColumns(const QString& table, const QStringList& except) {
    for (const RepositoryTable& t : RepositoryTables()) {
        if (t.name.compare(table, Qt::CaseInsensitive) != 0)
            continue;
        QStringList columns;
        for (const QString& column : t.columns)
            if (!except.contains(column, Qt::CaseInsensitive))
                columns << column;
        return columns;
    }
    return {};
}
