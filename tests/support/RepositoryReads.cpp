#include "RepositoryReads.h"

#include "services/modMain.h"

namespace testsupport {

qint64 Scalar(db::Database& d, const QString& sql, const QVariantList& params) {
    auto rs = d.Query(sql, params);
    return rs->EOF_() ? -1 : rs->Field(0).toLongLong();
}

qint64 Scalar(const QString& sql, const QVariantList& params) { return Scalar(*gDB, sql, params); }

QString TextOf(db::Database& d, const QString& sql, const QVariantList& params) {
    auto rs = d.Query(sql, params);
    return rs->EOF_() ? QStringLiteral("<no row>") : rs->Field(0).toString();
}

QString TextOf(const QString& sql, const QVariantList& params) { return TextOf(*gDB, sql, params); }

QStringList Rows(db::Database& d, const QString& sql, const QVariantList& params) {
    QStringList lines;
    auto rs = d.Query(sql, params);
    for (; !rs->EOF_(); rs->MoveNext()) {
        QStringList fields;
        for (int i = 0; i < rs->Columns().size(); ++i)
            fields << (rs->Field(i).isNull() ? QStringLiteral("<null>") : rs->Field(i).toString());
        lines << fields.join(QLatin1Char('|'));
    }
    return lines;
}

QStringList Dump(db::Database& d) {
    QStringList lines = d.TableNames();
    for (const QString& table : d.TableNames()) {
        for (const QString& row : Rows(d, QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table)))
            lines << table + QLatin1Char('|') + row;
    }
    return lines;
}

std::vector<DeclaredColumn> DeclaredColumns(db::Database& d, const QString& table) {
    std::vector<DeclaredColumn> columns;
    for (auto rs = d.Query(QStringLiteral("PRAGMA table_info(%1)").arg(db::QuoteIdentifier(table)));
         !rs->EOF_(); rs->MoveNext())
        columns.push_back({rs->Text(QStringLiteral("name")), rs->Text(QStringLiteral("type")).toUpper()});
    return columns;
}

qint64 InsertEveryColumn(db::Database& d, const QString& table, const QVariantMap& values, int seed) {
    QStringList names, marks;
    QVariantList row;
    int n = 0;
    for (const DeclaredColumn& column : DeclaredColumns(d, table)) {
        ++n;
        names << db::QuoteIdentifier(column.name);
        marks << QStringLiteral("?");
        QVariant value;
        for (auto it = values.begin(); it != values.end(); ++it)
            if (it.key().compare(column.name, Qt::CaseInsensitive) == 0)
                value = it.value();
        if (!value.isValid())
            value = column.type.startsWith(QLatin1String("INT"))
                        ? QVariant(qint64(seed) * 1000 + n)
                        : QVariant(column.name + QStringLiteral(" %1 O'Dörr").arg(seed));
        row << value;
    }
    d.Execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(db::QuoteIdentifier(table), names.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", "))),
              row);
    return d.LastInsertId();
}

std::vector<QVariantMap> WholeRows(db::Database& d, const QString& table) {
    std::vector<QVariantMap> rows;
    for (auto rs = d.Query(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(db::QuoteIdentifier(table)));
         !rs->EOF_(); rs->MoveNext()) {
        QVariantMap row;
        for (int i = 0; i < rs->Columns().size(); ++i)
            row.insert(rs->Columns()[i], rs->Field(i));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace testsupport
