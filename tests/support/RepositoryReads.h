#pragma once
// Reads of a repository or shared file that go around the classes under test, so that a test
// sees what is really stored, and rows written the same way. Without a database argument they
// read the program's repository.

#include "platform/database/Database.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <vector>

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

// The columns of a table as the database declares them, in order, each with its declared type.
struct DeclaredColumn {
    QString name;
    QString type;
};
std::vector<DeclaredColumn> DeclaredColumns(db::Database& d, const QString& table);
// Inserts a row into `table` with every column filled: the value given for a column where one
// is (by name, any case), else one of the column's type that no other column of any such row
// holds (texts with an apostrophe and letters beyond ASCII). `seed` tells rows apart. Returns
// the new row's rowid.
qint64 InsertEveryColumn(db::Database& d, const QString& table, const QVariantMap& values, int seed);
// The whole rows of a table ordered by rowid, each as its columns' values by name.
std::vector<QVariantMap> WholeRows(db::Database& d, const QString& table);

}  // namespace testsupport
