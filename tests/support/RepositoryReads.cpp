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

}  // namespace testsupport
