#pragma once
// A record's stored columns in one table, from which its reading, its INSERT and its UPDATE are
// made: each column is named once, so the three can't come to disagree about what a row holds.

#include "model/ModelDates.h"
#include "platform/database/Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <variant>
#include <vector>

namespace columns {

// The statements a column takes part in.
enum Use : unsigned {
    kRead = 1u,
    kInsert = 2u,
    kUpdate = 4u,
    kAll = kRead | kInsert | kUpdate,
};

// A whole number that does not fit 32 bits either refuses the row (a key must never wrap into
// another record's) or is held to the 32-bit range (an interval, where the bound is as good).
enum class Fit { Refuse, Clamp };

template <class Record>
struct Column {
    using Field = std::variant<std::monostate, QString Record::*, int32_t Record::*,
                               QDateTime Record::*>;
    const char* name;  // as the statements spell it: "[Top]" where the name is a keyword
    Field field;       // the record's field; std::monostate() for a column only written
    unsigned use = kAll;
    // The value written instead of the field's (given the moment of the statement).
    QVariant (*stored)(const Record&, const QDateTime& now) = nullptr;
    // Null reads as the empty value ("" for text; for a date, or a text that is no date, the
    // 1 January 1900 that stands for no date); otherwise it leaves the field alone.
    bool nullIsEmpty = false;
    Fit fit = Fit::Refuse;
    // A field held as an enum and stored as its code (model/PanelCodes.h): how a code read
    // becomes the field (a Null leaves it alone); `stored` writes the code. Its field is
    // std::monostate().
    void (*fromCode)(Record&, const QString& code) = nullptr;
};

// The column's name in a row ("Top" for "[Top]").
inline QString RowName(const char* name) {
    QString text = QString::fromLatin1(name);
    text.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    return text;
}

// Writes the moment of the statement, whatever the record holds.
template <class Record>
QVariant Now(const Record&, const QDateTime& now) {
    return now;
}

template <class Record>
QVariant StoredValue(const Record& record, const Column<Record>& column, const QDateTime& now) {
    if (column.stored)
        return column.stored(record, now);
    return std::visit(
        [&](auto field) -> QVariant {
            if constexpr (std::is_same_v<decltype(field), std::monostate>)
                return QVariant();
            else
                return QVariant::fromValue(record.*field);
        },
        column.field);
}

// "INSERT INTO <table>(<leading>, <columns>) VALUES (?, ...)" with its values: the leading
// columns are not fields of the record (the dashboard a panel belongs to).
template <class Record>
QString InsertStatement(const char* table, const std::vector<Column<Record>>& columns,
                        const QStringList& leading = {}) {
    QStringList names = leading;
    for (const auto& column : columns)
        if (column.use & kInsert)
            names << QString::fromLatin1(column.name);
    QStringList marks;
    for (qsizetype i = 0; i < names.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1(%2) VALUES (%3)")
        .arg(QLatin1String(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

template <class Record>
QVariantList InsertValues(const Record& record, const std::vector<Column<Record>>& columns,
                          const QVariantList& leading = {}) {
    const QDateTime now = QDateTime::currentDateTime();
    QVariantList values = leading;
    for (const auto& column : columns)
        if (column.use & kInsert)
            values << StoredValue(record, column, now);
    return values;
}

// "UPDATE <table> SET <leading> = ?, <column> = ?, ... WHERE ID = ?" with its values, the key
// last.
template <class Record>
QString UpdateStatement(const char* table, const std::vector<Column<Record>>& columns,
                        const QStringList& leading = {}) {
    QStringList sets;
    for (const QString& name : leading)
        sets << name + QStringLiteral(" = ?");
    for (const auto& column : columns)
        if (column.use & kUpdate)
            sets << QString::fromLatin1(column.name) + QStringLiteral(" = ?");
    return QStringLiteral("UPDATE %1 SET %2 WHERE ID = ?")
        .arg(QLatin1String(table), sets.join(QStringLiteral(", ")));
}

template <class Record>
QVariantList UpdateValues(const Record& record, const std::vector<Column<Record>>& columns,
                          int32_t id, const QVariantList& leading = {}) {
    const QDateTime now = QDateTime::currentDateTime();
    QVariantList values = leading;
    for (const auto& column : columns)
        if (column.use & kUpdate)
            values << StoredValue(record, column, now);
    values << id;
    return values;
}

// Fills the record from the current row. The whole numbers are checked first: when one must be
// refused, `refused` names its column and nothing of the record has changed. Text and dates
// that are Null leave their fields alone, unless marked nullIsEmpty.
template <class Record>
[[nodiscard]] bool Read(Record& record, const db::Recordset& rs, const std::vector<Column<Record>>& columns,
          QString* refused) {
    constexpr qint64 kMin = std::numeric_limits<int32_t>::min();
    constexpr qint64 kMax = std::numeric_limits<int32_t>::max();
    std::vector<std::pair<int32_t Record::*, int32_t>> numbers;
    for (const auto& column : columns) {
        const auto* field = std::get_if<int32_t Record::*>(&column.field);
        if (!(column.use & kRead) || !field)
            continue;
        const QString name = RowName(column.name);
        if (column.fit == Fit::Clamp && rs.IsNull(name))
            continue;
        const qint64 value = rs.Number(name);
        if (column.fit == Fit::Refuse && (value < kMin || value > kMax)) {
            if (refused)
                *refused = name;
            return false;
        }
        numbers.emplace_back(*field, static_cast<int32_t>(std::clamp(value, kMin, kMax)));
    }
    for (const auto& [field, value] : numbers)
        record.*field = value;

    for (const auto& column : columns) {
        if (!(column.use & kRead))
            continue;
        const QString name = RowName(column.name);
        if (column.fromCode) {
            if (!rs.IsNull(name))
                column.fromCode(record, rs.Text(name));
        } else if (const auto* text = std::get_if<QString Record::*>(&column.field)) {
            if (!rs.IsNull(name))
                record.**text = rs.Text(name);
            else if (column.nullIsEmpty)
                (record.**text).clear();
        } else if (const auto* date = std::get_if<QDateTime Record::*>(&column.field)) {
            if (column.nullIsEmpty)
                record.**date = rs.Date(name, NoDate());
            else if (!rs.IsNull(name))
                record.**date = rs.Date(name, record.**date);
        }
    }
    return true;
}

}  // namespace columns
