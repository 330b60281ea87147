#include "platform/database/SchemaCheck.h"

#include <QRegularExpression>

namespace db {

namespace {

// The words of an SQL text outside its quoted names, string literals and comments, in upper
// case: enough to tell whether a CREATE statement holds a keyword.
QStringList SqlWords(const QString& sql) {
    QStringList words;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto skipTo = [&](QChar close) {
        for (++i; i < n; ++i) {
            if (sql[i] != close)
                continue;
            if (close != QLatin1Char(']') && i + 1 < n && sql[i + 1] == close) {
                ++i;  // a doubled quote stands for itself
                continue;
            }
            break;
        }
        ++i;
    };
    while (i < n) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
            skipTo(c);
        } else if (c == QLatin1Char('[')) {
            skipTo(QLatin1Char(']'));
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            while (i < n && sql[i] != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = i;
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == QLatin1Char('_') ||
                             sql[i] == QLatin1Char('$')))
                ++i;
            words << sql.mid(start, i - start).toUpper();
        } else {
            ++i;
        }
    }
    return words;
}

// A default that is a value as written, not an expression the engine would evaluate.
bool LiteralDefault(const QString& text) {
    static const QRegularExpression literal(
        QStringLiteral("^\\(*\\s*(NULL|TRUE|FALSE|CURRENT_TIME|CURRENT_DATE|CURRENT_TIMESTAMP|"
                       "[-+]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][-+]?\\d+)?|0[xX][0-9a-fA-F]+|"
                       "'([^']|'')*'|[xX]'[0-9a-fA-F]*')\\s*\\)*$"),
        QRegularExpression::CaseInsensitiveOption);
    return literal.match(text.trimmed()).hasMatch();
}

QString Master(const QString& schema) {
    return QuoteIdentifier(schema) + QStringLiteral(".sqlite_master");
}

QString TableProblem(Database& database, const QString& schema, const QString& name,
                     const QString& sql) {
    const QStringList words = SqlWords(sql);
    if (words.size() > 1 && words[1] == QLatin1String("VIRTUAL"))
        return QStringLiteral("it holds a virtual table (%1)").arg(name);
    if (words.contains(QLatin1String("CHECK")))
        return QStringLiteral("table %1 has a CHECK constraint").arg(name);
    auto columns = database.Query(QStringLiteral("PRAGMA %1.table_info(%2)")
                                      .arg(QuoteIdentifier(schema), QuoteIdentifier(name)));
    for (; !columns->EOF_(); columns->MoveNext()) {
        if (columns->IsNull(QStringLiteral("dflt_value")))
            continue;
        if (!LiteralDefault(columns->Text(QStringLiteral("dflt_value"))))
            return QStringLiteral("column %1.%2 has a computed default")
                .arg(name, columns->Text(QStringLiteral("name")));
    }
    return QString();
}

QString IndexProblem(Database& database, const QString& schema, const QString& name,
                     const QString& table) {
    auto list = database.Query(QStringLiteral("PRAGMA %1.index_list(%2)")
                                   .arg(QuoteIdentifier(schema), QuoteIdentifier(table)));
    for (; !list->EOF_(); list->MoveNext()) {
        if (list->Text(QStringLiteral("name")) == name && list->Number(QStringLiteral("partial")) != 0)
            return QStringLiteral("index %1 is partial").arg(name);
    }
    auto columns = database.Query(QStringLiteral("PRAGMA %1.index_xinfo(%2)")
                                      .arg(QuoteIdentifier(schema), QuoteIdentifier(name)));
    for (; !columns->EOF_(); columns->MoveNext()) {
        if (columns->Number(QStringLiteral("cid")) == -2)
            return QStringLiteral("index %1 is on an expression").arg(name);
    }
    return QString();
}

}  // namespace

QString RunnableSchemaObject(Database& database, const QString& schema) {
    auto objects = database.Query(
        QStringLiteral("SELECT type, name, tbl_name, sql FROM %1 ORDER BY rowid").arg(Master(schema)));
    for (; !objects->EOF_(); objects->MoveNext()) {
        const QString type = objects->Text(QStringLiteral("type"));
        const QString name = objects->Text(QStringLiteral("name"));
        QString problem;
        if (type == QLatin1String("table"))
            problem = TableProblem(database, schema, name, objects->Text(QStringLiteral("sql")));
        else if (type == QLatin1String("index"))
            problem = IndexProblem(database, schema, name, objects->Text(QStringLiteral("tbl_name")));
        else if (type == QLatin1String("view"))
            problem = QStringLiteral("it holds a view (%1)").arg(name);
        else if (type == QLatin1String("trigger"))
            problem = QStringLiteral("it holds a trigger (%1)").arg(name);
        else
            problem = QStringLiteral("it holds a %1 (%2)").arg(type, name);
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

QStringList TableColumns(Database& database, const QString& table, const QString& schema) {
    QStringList names;
    auto kind = database.Query(
        QStringLiteral("SELECT type, sql FROM %1 WHERE name = ? COLLATE NOCASE").arg(Master(schema)),
        {table});
    // A virtual table's columns come from its module, which is never asked.
    if (kind->EOF_() || kind->Text(QStringLiteral("type")) != QLatin1String("table") ||
        SqlWords(kind->Text(QStringLiteral("sql"))).value(1) == QLatin1String("VIRTUAL"))
        return names;
    auto columns = database.Query(QStringLiteral("PRAGMA %1.table_info(%2)")
                                      .arg(QuoteIdentifier(schema), QuoteIdentifier(table)));
    for (; !columns->EOF_(); columns->MoveNext())
        names << columns->Text(QStringLiteral("name"));
    return names;
}

QString ValueOutside32Bits(Database& database, const QString& table, const QString& column,
                           const QString& schema) {
    const QString c = QuoteIdentifier(column);
    auto rs = database.Query(
        QStringLiteral("SELECT %1 FROM %2.%3 WHERE %1 IS NOT NULL AND (typeof(%1) <> 'integer' "
                       "OR %1 < -2147483648 OR %1 > 2147483647) LIMIT 1")
            .arg(c, QuoteIdentifier(schema), QuoteIdentifier(table)));
    if (rs->EOF_())
        return QString();
    const QVariant value = rs->Field(0);
    return value.typeId() == QMetaType::QByteArray ? QStringLiteral("a binary value")
                                                   : value.toString().left(40);
}

}  // namespace db
