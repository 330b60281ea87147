#pragma once
// What a database file holds besides stored rows, read before any statement touches its
// tables: a file from someone else may carry SQL of its own that the engine would run.

#include "platform/database/Database.h"

#include <QString>
#include <QStringList>

namespace db {

// The first thing in `schema` that would run when its tables are read or written: a view, a
// trigger, a virtual table, a CHECK constraint, a default computed by an expression, an index
// on an expression or a partial index. Returns why it can't be allowed ("DsbSavedPanel is a
// view, not a table"), or "" when the schema holds plain tables and plain indexes only.
QString RunnableSchemaObject(Database& database, const QString& schema = QStringLiteral("main"));

// The names of a plain table's columns, as declared; none when there is no such table.
QStringList TableColumns(Database& database, const QString& table,
                         const QString& schema = QStringLiteral("main"));

// The first value of `column` in `table` that is not Null and not a whole number within 32
// bits, as text; "" when every value fits.
QString ValueOutside32Bits(Database& database, const QString& table, const QString& column,
                           const QString& schema = QStringLiteral("main"));

}  // namespace db
