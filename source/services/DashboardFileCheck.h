#pragma once
// Whether a database file is one this program can read as a repository or as a shared
// dashboard file, checked before any statement reads its tables: such a file may come from
// someone else, and SQL stored in it would run inside this program.

#include "platform/database/Database.h"

#include <QString>

enum class DashboardFileKind {
    Repository,  // every table of the program, written to as well as read
    Shared,      // the tables an import reads
};

// Why the database (or its attached schema) can't be read as a file of this kind: something
// in it that would run, a table or column missing, an ID that does not fit in 32 bits. ""
// when it can be read. Failing statements throw db::Error.
QString UnreadableReason(db::Database& database, DashboardFileKind kind,
                         const QString& schema = QStringLiteral("main"));

// The text the user and the log are given for such a file.
QString NotReadableMessage(const QString& path, DashboardFileKind kind, const QString& reason);
