#include "services/DashboardFileCheck.h"

#include "platform/database/SchemaCheck.h"

#include <QSet>
#include <QStringList>

#include <vector>

namespace {

struct TableShape {
    const char* name;
    QStringList columns;
    QStringList keys;  // columns holding IDs, which the program keeps in 32 bits
    bool shared;       // read by an import
};

const std::vector<TableShape>& Tables() {
    static const std::vector<TableShape> tables = {
        {"DsbSavedWorkspace",
         {"ID", "Name", "Description", "Template", "Selected", "LastUpdated", "Status", "Comments",
          "LastViewed"},
         {"ID"},
         true},
        {"DsbSavedPanel",
         {"ID", "WorkspaceID", "SourceID", "Ndx", "Comments", "ContentType", "IsCustom",
          "SheetName", "PicRange", "RowHeights", "ColWidths", "RelativeTo", "ContentMatch", "Top",
          "Left", "Height", "Width", "ViewType", "LastViewed", "Caption"},
         {"ID", "WorkspaceID", "SourceID"},
         true},
        {"DsbPanelSource",
         {"ID", "FullPath", "Mask", "DestFolder", "NewestFile", "LastUpdated", "LastChecked",
          "CheckEveryNMin", "UpdateType", "SourceFolder", "OutlookFolder", "OutlookSubject",
          "OutlookSender", "OutlookAttachment", "MacroName", "CmdLine", "AddedParams"},
         {"ID"},
         true},
        {"DsbAltPaths", {"BasePath", "AltPath"}, {}, true},
        {"DsbpanelThresholds",
         {"ID", "PanelID", "rowOffset", "colOffset", "highExp", "ifHigh", "lowExp", "ifLow"},
         {"ID", "PanelID"},
         false},
        {"DsbSystem", {"PropertyKey", "PropertyValue"}, {}, false},
        {"DsbDrillback", {"ID", "PanelSourceID", "Sheet", "SourceDocID"},
         {"ID", "PanelSourceID", "SourceDocID"}, false},
        {"DsbSourceDoc",
         {"ID", "Mask", "NewestFile", "SourceFolder", "DefaultFolder", "DrillbackType",
          "DrillbackUsing", "Path1", "Path2", "Path3", "Param1", "Param2", "Param3", "Param4",
          "Param5"},
         {"ID"},
         false},
    };
    return tables;
}

}  // namespace

QString UnreadableReason(db::Database& database, DashboardFileKind kind, const QString& schema) {
    const QString runnable = db::RunnableSchemaObject(database, schema);
    if (!runnable.isEmpty())
        return runnable;
    QStringList missing;
    for (const TableShape& table : Tables()) {
        if (kind == DashboardFileKind::Shared && !table.shared)
            continue;
        const QString name = QLatin1String(table.name);
        QSet<QString> present;
        for (const QString& column : db::TableColumns(database, name, schema))
            present.insert(column.toLower());
        for (const QString& column : table.columns)
            if (!present.contains(column.toLower()))
                missing << name + QLatin1Char('.') + column;
    }
    if (!missing.isEmpty())
        return QStringLiteral("it lacks ") + missing.join(QStringLiteral(", "));
    for (const TableShape& table : Tables()) {
        if (kind == DashboardFileKind::Shared && !table.shared)
            continue;
        for (const QString& key : table.keys) {
            const QString value =
                db::ValueOutside32Bits(database, QLatin1String(table.name), key, schema);
            if (!value.isEmpty())
                return QStringLiteral("%1.%2 holds %3, which is not an ID of 32 bits")
                    .arg(QLatin1String(table.name), key, value);
        }
    }
    // The next key handed out must fit as well.
    if (kind == DashboardFileKind::Repository &&
        !db::TableColumns(database, QStringLiteral("sqlite_sequence"), schema).isEmpty()) {
        const QString value =
            db::ValueOutside32Bits(database, QStringLiteral("sqlite_sequence"),
                                   QStringLiteral("seq"), schema);
        if (!value.isEmpty())
            return QStringLiteral("its next ID would follow %1, which is not an ID of 32 bits")
                .arg(value);
    }
    return QString();
}

QString NotReadableMessage(const QString& path, DashboardFileKind kind, const QString& reason) {
    return path +
           (kind == DashboardFileKind::Shared
                ? QStringLiteral(" is not a shared dashboard file this program can read: ")
                : QStringLiteral(" is not a project file this program can read: ")) +
           reason;
}
