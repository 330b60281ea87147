#pragma once
// Reads of a repository or shared file that go around the classes under test, so that a test
// sees what is really stored. Without a database argument they read the program's repository.

#include "platform/database/Database.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace testsupport {

// The first field of the first row as a number; -1 when there is no row.
qint64 Scalar(db::Database& d, const QString& sql, const QVariantList& params = {});
qint64 Scalar(const QString& sql, const QVariantList& params = {});
// The first field of the first row as text; "<no row>" when there is no row.
QString TextOf(db::Database& d, const QString& sql, const QVariantList& params = {});
QString TextOf(const QString& sql, const QVariantList& params = {});
// The rows of a query, one line each, fields joined by "|", Null shown as "<null>".
QStringList Rows(db::Database& d, const QString& sql, const QVariantList& params = {});
// Every row of every table, after the list of tables: the whole stored state of a file.
QStringList Dump(db::Database& d);

}  // namespace testsupport
