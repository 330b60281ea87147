#include "model/RowValues.h"

#include "services/modUtilsLog.h"

#include <limits>

QString OverflowText(const QString& column, const QVariant& value) {
    return QStringLiteral("Overflow: column ") + column + QStringLiteral(" holds ") +
           value.toString();
}

bool ReadInt32(const db::Recordset& rs, const QString& column, int32_t& out) {
    const qint64 value = rs.Number(column);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool InsertedKey(db::Database* DB, const QString& module, const QString& procedure, int32_t& key) {
    const qint64 newID = DB->LastInsertId();
    if (newID < 1 || newID > std::numeric_limits<int32_t>::max()) {
        LogError(
            module, procedure, kOverflowErr,
            QStringLiteral("Overflow: the new row was given the key ") + QString::number(newID),
            true);
        return false;
    }
    key = static_cast<int32_t>(newID);
    return true;
}
