#include "platform/database/Database.h"

#include <sqlite3.h>

#include <unistd.h>
#include <cerrno>

#include <QFile>
#include <QFileInfo>

namespace db {

namespace {

constexpr const char* kStoredFormat = "yyyy-MM-dd hh:mm:ss";
constexpr int kBusyTimeoutMs = 5000;

// Limits of a guarded connection. The engine calls the progress handler every kStepsPerCall
// virtual machine steps; no statement of this program over a shared file takes more than a
// few million steps, so two hundred million mean a statement that would run away.
constexpr int kStepsPerCall = 1000;
constexpr qint64 kGuardedCalls = 200000;
constexpr int kGuardedValueBytes = 8 << 20;
constexpr qint64 kGuardedResultBytes = qint64(64) << 20;

// Plain functions of the engine that read their arguments and nothing else, allocate no more
// than their result, and have no known fault in the engine this program runs on.
bool AllowedFunction(const char* name) {
    static const char* const kAllowed[] = {
        "abs",    "avg",     "coalesce", "count",  "date",     "datetime", "glob",   "ifnull",
        "instr",  "julianday", "length", "like",   "lower",    "ltrim",    "max",    "min",
        "nullif", "replace", "round",    "rtrim",  "strftime", "substr",   "sum",    "time",
        "total",  "trim",    "typeof",   "upper"};
    if (!name)
        return false;
    for (const char* allowed : kAllowed)
        if (sqlite3_stricmp(name, allowed) == 0)
            return true;
    return false;
}

QString EngineMessage(sqlite3* handle) {
    return handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("out of memory");
}

QString Literal(const QVariant& v) {
    if (v.isNull())
        return QStringLiteral("NULL");
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float: return v.toString();
    case QMetaType::QDateTime: return QLatin1Char('\'') + ToStoredDateTime(v.toDateTime()) + QLatin1Char('\'');
    default: {
        QString text = v.toString();
        text.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    }
}

// The statement with its values written in, for a statement the engine could not prepare
// (and so could not expand itself).
QString SubstituteValues(const QString& sql, const QVariantList& params) {
    QString out;
    int next = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?') && next < params.size()) {
            out += Literal(params[next++]);
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace

int WriteRefusalOf(int code, int systemError, const QString& path) {
    const int primary = code & 0xff;
    if (primary == SQLITE_FULL)
        return ENOSPC;
    if (primary == SQLITE_READONLY) {
        // Opened read-only because the file refused writing: the file or its disk says why.
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0 &&
            (errno == EROFS || errno == EACCES || errno == EPERM))
            return errno;
        return EACCES;
    }
    if ((primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) &&
        (systemError == ENOSPC || systemError == EDQUOT || systemError == EROFS ||
         systemError == EACCES || systemError == EPERM))
        return systemError;
    return 0;
}

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

Error::Error(int code, const QString& message, const QString& statement, int systemError)
    : std::runtime_error(message.toStdString()),
      code_(code),
      systemError_(systemError),
      message_(message),
      statement_(statement) {}

QString ToStoredDateTime(const QDateTime& value) {
    return value.isValid() ? value.toString(QLatin1String(kStoredFormat)) : QString();
}

QDateTime FromStoredDateTime(const QString& text) {
    const QString trimmed = text.trimmed();
    QDateTime parsed = QDateTime::fromString(trimmed, QLatin1String(kStoredFormat));
    if (!parsed.isValid())
        parsed = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!parsed.isValid()) {
        const QDate day = QDate::fromString(trimmed, Qt::ISODate);
        if (day.isValid())
            parsed = QDateTime(day, QTime(0, 0));
    }
    return parsed;
}

Database::Database(sqlite3* handle, QString path, QString key)
    : handle_(handle), path_(std::move(path)), key_(std::move(key)) {}

Database::~Database() {
    if (handle_)
        sqlite3_close_v2(handle_);
}

std::unique_ptr<Database> Database::OpenFile(const QString& path, const QString& key, int flags) {
    sqlite3* handle = nullptr;
    const QByteArray file = QFile::encodeName(path);
    int rc = sqlite3_open_v2(file.constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = EngineMessage(handle);
        sqlite3_close_v2(handle);
        throw Error(rc, message);
    }
    const QByteArray keyBytes = key.toUtf8();
    rc = sqlite3_key(handle, keyBytes.constData(), keyBytes.size());
    if (rc != SQLITE_OK) {
        const QString message = EngineMessage(handle);
        sqlite3_close_v2(handle);
        throw Error(rc, message);
    }
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    // A wrong key or a file that is no database only shows on the first read.
    rc = sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = EngineMessage(handle);
        sqlite3_close_v2(handle);
        throw Error(rc, message);
    }
    return std::unique_ptr<Database>(new Database(handle, QFileInfo(path).absoluteFilePath(), key));
}

std::unique_ptr<Database> Database::Open(const QString& path, const QString& key) {
    if (path.isEmpty())
        throw Error(SQLITE_CANTOPEN, QStringLiteral("no database file was named"));
    if (!QFileInfo(path).isFile())
        throw Error(SQLITE_CANTOPEN, QStringLiteral("the file does not exist"));
    return OpenFile(path, key, SQLITE_OPEN_READWRITE);
}

std::unique_ptr<Database> Database::Create(const QString& path, const QString& key) {
    return OpenFile(path, key, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void Database::FailStep(sqlite3_stmt* stmt, const QString& sql, const QVariantList& params) const {
    // Read before Expanded, whose own prepare resets the engine's last error.
    const int code = sqlite3_extended_errcode(handle_);
    const int systemError = sqlite3_system_errno(handle_);
    const QString message =
        stopped_ ? QStringLiteral("the statement ran far longer than any of this program's and "
                                  "was stopped")
                 : EngineMessage(handle_);
    const QString shown = Expanded(sql, params);
    sqlite3_finalize(stmt);
    lastFailure_ = {code, systemError};
    throw Error(code, message, shown, systemError);
}

void Database::Fail(const QString& sql) const {
    const int code = sqlite3_extended_errcode(handle_);
    const int systemError = sqlite3_system_errno(handle_);
    lastFailure_ = {code, systemError};
    throw Error(code, EngineMessage(handle_), sql, systemError);
}

sqlite3_stmt* Database::Prepare(const QString& sql, const QVariantList& params) const {
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle_, text.constData(), static_cast<int>(text.size()), &stmt,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        Fail(SubstituteValues(sql, params));
    }
    const int expected = sqlite3_bind_parameter_count(stmt);
    if (expected != params.size()) {
        sqlite3_finalize(stmt);
        lastFailure_ = {SQLITE_RANGE, 0};
        throw Error(SQLITE_RANGE,
                    QStringLiteral("the statement takes %1 values but %2 were given")
                        .arg(expected)
                        .arg(params.size()),
                    sql);
    }
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params[i];
        const int at = i + 1;
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(stmt, at);
        } else {
            switch (v.typeId()) {
            case QMetaType::Bool:
                rc = sqlite3_bind_int(stmt, at, v.toBool() ? 1 : 0);
                break;
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(stmt, at, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(stmt, at, v.toDouble());
                break;
            case QMetaType::QDateTime: {
                const QByteArray s = ToStoredDateTime(v.toDateTime()).toUtf8();
                rc = sqlite3_bind_text(stmt, at, s.constData(), static_cast<int>(s.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QDate: {
                const QByteArray s =
                    ToStoredDateTime(QDateTime(v.toDate(), QTime(0, 0))).toUtf8();
                rc = sqlite3_bind_text(stmt, at, s.constData(), static_cast<int>(s.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                rc = sqlite3_bind_blob(stmt, at, b.constData(), static_cast<int>(b.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray s = v.toString().toUtf8();
                rc = sqlite3_bind_text(stmt, at, s.constData(), static_cast<int>(s.size()),
                                       SQLITE_TRANSIENT);
                break;
            }
            }
        }
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            Fail(sql);
        }
    }
    return stmt;
}

QString Database::Expanded(const QString& sql, const QVariantList& params) const {
    if (params.isEmpty())
        return sql;
    sqlite3_stmt* stmt = nullptr;
    try {
        stmt = Prepare(sql, params);
    } catch (const Error&) {
        return SubstituteValues(sql, params);
    }
    char* expanded = sqlite3_expanded_sql(stmt);
    QString result = expanded ? QString::fromUtf8(expanded) : sql;
    sqlite3_free(expanded);
    sqlite3_finalize(stmt);
    return result;
}

void Database::StartBudget() const {
    steps_ = 0;
    stopped_ = false;
}

int Database::Progress(void* self) {
    auto* db = static_cast<Database*>(self);
    if (++db->steps_ <= kGuardedCalls)
        return 0;
    db->stopped_ = true;
    return 1;
}

int Database::Authorize(void* self, int action, const char* a, const char* b, const char* schema,
                        const char* context) {
    Q_UNUSED(a);
    const auto* db = static_cast<const Database*>(self);
    switch (action) {
    case SQLITE_FUNCTION:
        // A function called from a view or a trigger is never one of ours.
        return context == nullptr && AllowedFunction(b) ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_RECURSIVE:
        return SQLITE_DENY;
    default:
        break;
    }
    // Tables of a schema not known to be ours are never reached through its views or triggers.
    if (context && schema && db->trusted_ != schema)
        return SQLITE_DENY;
    return SQLITE_OK;
}

void Database::Guard(const QString& trusted) {
    trusted_ = trusted.toUtf8();
    if (!guarded_)
        lengthLimit_ = sqlite3_limit(handle_, SQLITE_LIMIT_LENGTH, kGuardedValueBytes);
    guarded_ = true;
    sqlite3_set_authorizer(handle_, &Database::Authorize, this);
    sqlite3_progress_handler(handle_, kStepsPerCall, &Database::Progress, this);
}

void Database::Unguard() {
    if (!guarded_)
        return;
    sqlite3_set_authorizer(handle_, nullptr, nullptr);
    sqlite3_progress_handler(handle_, 0, nullptr, nullptr);
    sqlite3_limit(handle_, SQLITE_LIMIT_LENGTH, lengthLimit_);
    guarded_ = false;
    trusted_.clear();
}

void Database::Execute(const QString& sql, const QVariantList& params) {
    sqlite3_stmt* stmt = Prepare(sql, params);
    StartBudget();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        FailStep(stmt, sql, params);
    sqlite3_finalize(stmt);
}

void Database::ExecuteScript(const QString& sql) {
    char* message = nullptr;
    const QByteArray text = sql.toUtf8();
    StartBudget();
    if (sqlite3_exec(handle_, text.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString shown = stopped_ ? QStringLiteral("the script ran far longer than any of "
                                                        "this program's and was stopped")
                              : message ? QString::fromUtf8(message)
                                        : EngineMessage(handle_);
        sqlite3_free(message);
        lastFailure_ = {sqlite3_extended_errcode(handle_), sqlite3_system_errno(handle_)};
        throw Error(lastFailure_.code, shown, sql, lastFailure_.systemError);
    }
}

std::unique_ptr<Recordset> Database::Query(const QString& sql, const QVariantList& params) {
    sqlite3_stmt* stmt = Prepare(sql, params);
    QStringList columns;
    const int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i)
        columns << QString::fromUtf8(sqlite3_column_name(stmt, i));
    std::vector<QVariantList> rows;
    StartBudget();
    qint64 resultBytes = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (guarded_) {
            for (int i = 0; i < count; ++i)
                resultBytes += sqlite3_column_bytes(stmt, i) + qint64(sizeof(QVariant));
            if (resultBytes > kGuardedResultBytes) {
                sqlite3_finalize(stmt);
                lastFailure_ = {SQLITE_TOOBIG, 0};
                throw Error(SQLITE_TOOBIG,
                            QStringLiteral("the statement returns more than %1 MB")
                                .arg(kGuardedResultBytes >> 20),
                            Expanded(sql, params));
            }
        }
        QVariantList row;
        row.reserve(count);
        for (int i = 0; i < count; ++i) {
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                row << QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, i)));
                break;
            case SQLITE_FLOAT:
                row << QVariant(sqlite3_column_double(stmt, i));
                break;
            case SQLITE_TEXT:
                row << QVariant(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                    sqlite3_column_bytes(stmt, i)));
                break;
            case SQLITE_BLOB:
                row << QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, i)),
                                           sqlite3_column_bytes(stmt, i)));
                break;
            default:
                row << QVariant();
                break;
            }
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        FailStep(stmt, sql, params);
    sqlite3_finalize(stmt);
    return std::make_unique<Recordset>(std::move(columns), std::move(rows));
}

qint64 Database::LastInsertId() const { return sqlite3_last_insert_rowid(handle_); }

int Database::Changes() const { return sqlite3_changes(handle_); }

void Database::Attach(const QString& path, const QString& alias, const QString& key) {
    if (!QFileInfo(path).isFile()) {
        lastFailure_ = {SQLITE_CANTOPEN, 0};
        throw Error(SQLITE_CANTOPEN, QStringLiteral("the file does not exist"), path);
    }
    Execute(QStringLiteral("ATTACH DATABASE ? AS %1 KEY ?").arg(QuoteIdentifier(alias)),
            {path, key});
    // A wrong key or a file that is no database only shows on the first read.
    try {
        Query(QStringLiteral("SELECT count(*) FROM %1.sqlite_master").arg(QuoteIdentifier(alias)));
    } catch (const Error&) {
        try {
            Detach(alias);
        } catch (const Error&) {
        }
        throw;
    }
}

void Database::Detach(const QString& alias) {
    Execute(QStringLiteral("DETACH DATABASE %1").arg(QuoteIdentifier(alias)));
}

QStringList Database::TableNames(const QString& schema) {
    QStringList names;
    auto rs = Query(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type = 'table' "
                                   "AND name NOT LIKE 'sqlite_%' ORDER BY name")
                        .arg(QuoteIdentifier(schema)));
    for (; !rs->EOF_(); rs->MoveNext())
        names << rs->Text(QStringLiteral("name"));
    return names;
}

bool Database::HasTable(const QString& table, const QString& schema) {
    auto rs = Query(QStringLiteral("SELECT 1 FROM %1.sqlite_master WHERE type = 'table' AND "
                                   "name = ? COLLATE NOCASE")
                        .arg(QuoteIdentifier(schema)),
                    {table});
    return rs->RecordCount() > 0;
}

void Database::DropTable(const QString& table) {
    Execute(QStringLiteral("DROP TABLE %1").arg(QuoteIdentifier(table)));
}

void Database::Begin() {
    Execute(QStringLiteral("SAVEPOINT sb_%1").arg(depth_));
    ++depth_;
}

void Database::Commit() {
    if (depth_ == 0)
        return;
    Execute(QStringLiteral("RELEASE SAVEPOINT sb_%1").arg(depth_ - 1));
    --depth_;
}

void Database::Rollback() {
    if (depth_ == 0)
        return;
    --depth_;
    Execute(QStringLiteral("ROLLBACK TO SAVEPOINT sb_%1").arg(depth_));
    Execute(QStringLiteral("RELEASE SAVEPOINT sb_%1").arg(depth_));
}

void Database::BackupTo(const QString& path) {
    auto target = Create(path, key_);
    sqlite3_backup* backup = sqlite3_backup_init(target->handle_, "main", handle_, "main");
    if (!backup)
        target->Fail();
    int rc;
    do {
        rc = sqlite3_backup_step(backup, 256);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(20);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        target->Fail();
}

int Database::UserVersion() {
    auto rs = Query(QStringLiteral("PRAGMA user_version"));
    return rs->EOF_() ? 0 : static_cast<int>(rs->Field(0).toLongLong());
}

void Database::SetUserVersion(int version) {
    Execute(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

Transaction::~Transaction() {
    if (!done_) {
        try {
            db_.Rollback();
        } catch (const Error&) {
        }
    }
}

void Transaction::Commit() {
    db_.Commit();
    done_ = true;
}

Recordset::Recordset(QStringList columns, std::vector<QVariantList> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

int Recordset::ColumnIndex(const QString& name) const {
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Recordset::Field(int index) const {
    if (EOF_() || pos_ < 0 || index < 0 || index >= columns_.size())
        return QVariant();
    return rows_[pos_][index];
}

QVariant Recordset::Field(const QString& name) const { return Field(ColumnIndex(name)); }

QString Recordset::Text(const QString& name) const {
    const QVariant v = Field(name);
    return v.isNull() ? QString() : v.toString();
}

qint64 Recordset::Number(const QString& name) const {
    const QVariant v = Field(name);
    if (v.isNull())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return qRound64(v.toDouble());
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok ? n : qRound64(v.toString().trimmed().toDouble());
}

double Recordset::Real(const QString& name) const {
    const QVariant v = Field(name);
    return v.isNull() ? 0.0 : v.toDouble();
}

QDateTime Recordset::Date(const QString& name, const QDateTime& whenNull) const {
    const QVariant v = Field(name);
    if (v.isNull())
        return whenNull;
    const QDateTime parsed = FromStoredDateTime(v.toString());
    return parsed.isValid() ? parsed : whenNull;
}

}  // namespace db
