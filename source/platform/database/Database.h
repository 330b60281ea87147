#pragma once
// A keyed SQLCipher database: the repository, a shared dashboard file or the log database.
// Statements take their values as bound parameters, so no value is ever pasted into SQL text.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// A failed database call: the engine's code and its message, with the statement and its
// values as the engine would run them (for the log).
class Error : public std::runtime_error {
public:
    Error(int code, const QString& message, const QString& statement = QString(),
          int systemError = 0);
    int code() const { return code_; }
    QString message() const { return message_; }
    QString statement() const { return statement_; }
    // The operating system's error number behind the failure (ENOSPC, EROFS, ...), 0 when none.
    int systemError() const { return systemError_; }

private:
    int code_;
    int systemError_;
    QString message_;
    QString statement_;
};

// Date-times are stored as ISO text; this is the one format written and read.
QString ToStoredDateTime(const QDateTime& value);
QDateTime FromStoredDateTime(const QString& text);

// When a failure of the engine (its code and the operating system's error number) was a write
// that the file system refused, the operating system's reason: ENOSPC for a full disk, EROFS,
// EACCES or EPERM for a read-only disk, file or folder (the engine takes a file that refuses
// writing read-only when it opens it, and the journal beside a file may not be made). 0 for any
// other failure. `path` is the database file.
int WriteRefusalOf(int code, int systemError, const QString& path);

// A name as SQL writes an identifier: between double quotes, inner ones doubled.
QString QuoteIdentifier(const QString& name);

class Recordset;

class Database {
public:
    // Opens an existing file with the key. Missing file, wrong key or a file that is no
    // database all throw.
    static std::unique_ptr<Database> Open(const QString& path, const QString& key);
    // Makes a new, empty keyed file (tools and tests); an existing file is opened instead.
    static std::unique_ptr<Database> Create(const QString& path, const QString& key);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    QString Name() const { return path_; }  // the full path of the file
    QString Key() const { return key_; }

    void Execute(const QString& sql, const QVariantList& params = {});
    // Runs several statements without parameters (schema scripts).
    void ExecuteScript(const QString& sql);
    std::unique_ptr<Recordset> Query(const QString& sql, const QVariantList& params = {});
    // The statement with its values, as the engine runs it: what the log shows.
    QString Expanded(const QString& sql, const QVariantList& params) const;

    qint64 LastInsertId() const;
    int Changes() const;
    // The engine's code and the operating system's error number of the last failure this
    // connection threw, kept past the statements (a rollback) run after it.
    struct Failure {
        int code = 0;
        int systemError = 0;
    };
    Failure LastFailure() const { return lastFailure_; }
    // WriteRefusalOf the last failure this connection threw.
    int WriteRefusal() const {
        return WriteRefusalOf(lastFailure_.code, lastFailure_.systemError, path_);
    }

    void Attach(const QString& path, const QString& alias, const QString& key);
    void Detach(const QString& alias);
    QStringList TableNames(const QString& schema = QStringLiteral("main"));
    [[nodiscard]] bool HasTable(const QString& table, const QString& schema = QStringLiteral("main"));
    void DropTable(const QString& table);

    // Nested safely: each level is a savepoint.
    void Begin();
    void Commit();
    void Rollback();
    int TransactionDepth() const { return depth_; }

    // Copies the whole database into a new keyed file with the online backup API.
    void BackupTo(const QString& path);

    int UserVersion();
    void SetUserVersion(int version);

    // For a file from someone else. While guarded, a statement may call only plain functions
    // of a short list, may not recurse, may not reach a schema other than `trusted` through a
    // view or a trigger, may not read a value above a few megabytes, and is stopped once it has
    // taken far more engine steps than any statement of this program needs. `trusted` names
    // the one schema of the connection that is known to be ours ("" when none is).
    void Guard(const QString& trusted = QString());
    void Unguard();
    [[nodiscard]] bool Guarded() const { return guarded_; }

private:
    Database(sqlite3* handle, QString path, QString key);
    static int Authorize(void* self, int action, const char* a, const char* b, const char* schema,
                         const char* context);
    static int Progress(void* self);
    // Starts a statement's budget of engine steps.
    void StartBudget() const;
    static std::unique_ptr<Database> OpenFile(const QString& path, const QString& key, int flags);
    sqlite3_stmt* Prepare(const QString& sql, const QVariantList& params) const;
    [[noreturn]] void Fail(const QString& sql = QString()) const;
    // Finalizes a statement whose step failed and throws its error.
    [[noreturn]] void FailStep(sqlite3_stmt* stmt, const QString& sql, const QVariantList& params) const;

    sqlite3* handle_;
    QString path_;
    QString key_;
    int depth_ = 0;
    bool guarded_ = false;
    QByteArray trusted_;
    int lengthLimit_ = 0;           // the engine's own, restored by Unguard
    mutable qint64 steps_ = 0;      // progress calls of the running statement
    mutable bool stopped_ = false;  // the running statement was stopped by its budget
    mutable Failure lastFailure_;
};

// Guards a connection for as long as it lives.
class GuardScope {
public:
    GuardScope(Database& database, const QString& trusted = QString()) : db_(database) {
        db_.Guard(trusted);
    }
    ~GuardScope() { db_.Unguard(); }
    GuardScope(const GuardScope&) = delete;
    GuardScope& operator=(const GuardScope&) = delete;

private:
    Database& db_;
};

// Begins on construction; rolls back unless Commit was called.
class Transaction {
public:
    explicit Transaction(Database& database) : db_(database) { db_.Begin(); }
    ~Transaction();
    void Commit();

private:
    Database& db_;
    bool done_ = false;
};

// The rows of a query, read at once, with a cursor. Field names are found without regard to
// case, since the statements and the callers spell the same column differently ("isCustom",
// "IsCustom").
class Recordset {
public:
    Recordset(QStringList columns, std::vector<QVariantList> rows);

    [[nodiscard]] bool EOF_() const { return pos_ >= static_cast<int>(rows_.size()); }
    [[nodiscard]] bool BOF() const { return pos_ < 0 || rows_.empty(); }
    void MoveNext() { if (pos_ < static_cast<int>(rows_.size())) ++pos_; }
    void MoveFirst() { pos_ = 0; }
    void MoveLast() { pos_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1; }
    int RecordCount() const { return static_cast<int>(rows_.size()); }
    const QStringList& Columns() const { return columns_; }
    [[nodiscard]] bool HasField(const QString& name) const { return ColumnIndex(name) >= 0; }

    // The value at the cursor; a null QVariant for Null, a missing column or end of file.
    QVariant Field(const QString& name) const;
    QVariant Field(int index) const;
    [[nodiscard]] bool IsNull(const QString& name) const { return Field(name).isNull(); }
    // Null-aware conveniences: Null reads as "", 0 or the given default date.
    QString Text(const QString& name) const;
    qint64 Number(const QString& name) const;
    double Real(const QString& name) const;
    QDateTime Date(const QString& name, const QDateTime& whenNull = QDateTime()) const;

    void Close() { rows_.clear(); pos_ = 0; }

private:
    int ColumnIndex(const QString& name) const;

    QStringList columns_;
    std::vector<QVariantList> rows_;
    int pos_ = 0;
};

}  // namespace db
