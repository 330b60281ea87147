#pragma once
// The only road to a database: the repository, a shared dashboard file or the log database.
// Each routine traps its own failure, reports it under "UtilsSQL" with the caller's names, and
// returns a success flag. Values always travel as bound parameters.

#include "platform/database/Database.h"

#include <QString>
#include <QVariantList>

#include <functional>

#include <memory>

// The connect string of every repository, shared file and log database; its password is the key.
inline const QString kConnectString = QStringLiteral("MS Access;pwd=Wren527");
// The key inside a connect string ("pwd=...").
QString DatabaseKey(const QString& connect);

[[nodiscard]] bool SQL_OpenDatabase(std::unique_ptr<db::Database>& DB, const QString& path,
                      const QString& connect, bool showMsg, const QString& callerModule,
                      const QString& callerProc);
[[nodiscard]] bool SQL_Execute(db::Database* DB, const QString& statement, const QVariantList& params,
                 bool showMsg, const QString& callerModule, const QString& callerProc);
[[nodiscard]] bool SQL_OpenRecordset(db::Database* DB, std::unique_ptr<db::Recordset>& rs,
                       const QString& statement, const QVariantList& params, bool showMsg,
                       const QString& callerModule, const QString& callerProc);
void SQL_CloseDatabase(std::unique_ptr<db::Database>& DB, bool showMsg,
                       const QString& callerModule, const QString& callerProc);

// Runs `work` in one transaction on DB: committed when it returns true, rolled back when it
// returns false or a statement inside fails. Failures of the transaction itself are reported
// like those of the routines above.
[[nodiscard]] bool SQL_InTransaction(db::Database* DB, bool showMsg, const QString& callerModule,
                       const QString& callerProc, const std::function<bool()>& work);

// Why DB can't be written, in words for the user, when its last failure was a write that a full
// disk or a read-only file, folder or disk refused; "" for any other failure. Such a failure is
// shown in these words rather than as the engine's text and statement (the log keeps those).
QString SQL_WriteRefusal(const db::Database& DB);

// While one lives, a write that a full disk or a read-only file, folder or disk refuses is only
// logged, not shown: for the bookkeeping no user asked for (when a dashboard was opened, what the
// update pass has seen), which the program writes again later. Other failures are shown as ever.
class QuietWriteRefusals {
public:
    QuietWriteRefusals();
    ~QuietWriteRefusals();
    QuietWriteRefusals(const QuietWriteRefusals&) = delete;
    QuietWriteRefusals& operator=(const QuietWriteRefusals&) = delete;
};
