#pragma once
// The tables of a repository and of a shared dashboard file, each with its columns in the
// order the shipped schema declares them: the one list that the file checks and the import are made
// from (a test holds it against resources/schema.sql).

#include <QString>
#include <QStringList>

#include <vector>

struct RepositoryTable {
    QString name;
    QStringList columns;
    QStringList keys;  // columns holding IDs, which the program keeps in 32 bits
    bool shared;       // read by an import
};

const std::vector<RepositoryTable>& RepositoryTables();

// The columns of one table, in schema order, less those named in `except` (compared without
// regard to case); empty for a table that is not one of the program's.
QStringList RepositoryColumns(const QString& table, const QStringList& except = {});
