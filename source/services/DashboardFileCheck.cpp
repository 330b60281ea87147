#include "services/DashboardFileCheck.h"

#include "platform/database/SchemaCheck.h"
#include "services/RepositoryTables.h"

#include <QSet>
#include <QStringList>

#include <vector>

QString UnreadableReason(db::Database& database, DashboardFileKind kind, const QString& schema) {
    const QString runnable = db::RunnableSchemaObject(database, schema);
    if (!runnable.isEmpty())
        return runnable;
    QStringList missing;
    for (const RepositoryTable& table : RepositoryTables()) {
        if (kind == DashboardFileKind::Shared && !table.shared)
            continue;
        const QString& name = table.name;
        QSet<QString> present;
        for (const QString& column : db::TableColumns(database, name, schema))
            present.insert(column.toLower());
        for (const QString& column : table.columns)
            if (!present.contains(column.toLower()))
                missing << name + QLatin1Char('.') + column;
    }
    if (!missing.isEmpty())
        return QStringLiteral("it lacks ") + missing.join(QStringLiteral(", "));
    for (const RepositoryTable& table : RepositoryTables()) {
        if (kind == DashboardFileKind::Shared && !table.shared)
            continue;
        for (const QString& key : table.keys) {
            const QString value = db::ValueOutside32Bits(database, table.name, key, schema);
            if (!value.isEmpty())
                return QStringLiteral("%1.%2 holds %3, which is not an ID of 32 bits")
                    .arg(table.name, key, value);
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
