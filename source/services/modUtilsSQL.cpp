#include "services/modUtilsSQL.h"

#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"

namespace {

const QString kModule = QStringLiteral("UtilsSQL");
const QString kCrLf = QStringLiteral("\r\n");

QString CallerPart(const QString& callerModule, const QString& callerProc) {
    if (callerModule.isEmpty())
        return QString();
    QString part = kCrLf + QStringLiteral("Caller: ") + callerModule;
    if (!callerProc.isEmpty())
        part += QLatin1Char('.') + callerProc;
    return part + kCrLf;
}

int quietRefusals = 0;

// A refused write is logged in full and shown in the user's words (unless quiet); anything else
// as the routines always report.
void Report(db::Database* DB, const QString& procedure, int number, const QString& description,
            bool showMsg) {
    const QString refusal = DB ? SQL_WriteRefusal(*DB) : QString();
    if (refusal.isEmpty()) {
        LogError(kModule, procedure, number, description, showMsg);
        return;
    }
    LogError(kModule, procedure, number, description, false);
    if (showMsg && quietRefusals == 0)
        MsgBox(refusal, vbExclamation, App::Title());
}

void ReportStatementError(db::Database* DB, const QString& procedure, int number,
                          const QString& message, const QString& statement, bool showMsg,
                          const QString& callerModule, const QString& callerProc) {
    Report(DB, procedure, number,
           CallerPart(callerModule, callerProc) + message + kCrLf + QStringLiteral("SQL: ") +
               statement,
           showMsg);
}

}  // namespace

QString SQL_WriteRefusal(const db::Database& DB) {
    const int error = DB.WriteRefusal();
    if (!error)
        return QString();
    return App::Title() + QStringLiteral(" could not save to ") + DB.Name() +
           QStringLiteral(".\r\n") + WriteFailureText(error, DB.Name());
}

QuietWriteRefusals::QuietWriteRefusals() { ++quietRefusals; }
QuietWriteRefusals::~QuietWriteRefusals() { --quietRefusals; }

QString DatabaseKey(const QString& connect) {
    for (const QString& part : connect.split(QLatin1Char(';'))) {
        const QString trimmed = part.trimmed();
        if (trimmed.startsWith(QLatin1String("pwd="), Qt::CaseInsensitive))
            return trimmed.mid(4);
    }
    return QString();
}

bool SQL_OpenDatabase(std::unique_ptr<db::Database>& DB, const QString& path,
                      const QString& connect, bool showMsg, const QString& callerModule,
                      const QString& callerProc) {
    try {
        DB = db::Database::Open(path, DatabaseKey(connect));
        return true;
    } catch (const db::Error& e) {
        LogError(kModule, QStringLiteral("SQL_OpenDatabase"), e.code(),
                 CallerPart(callerModule, callerProc) + QLatin1Char('[') + path +
                     QStringLiteral("] ") + e.message(),
                 showMsg);
        return false;
    }
}

bool SQL_Execute(db::Database* DB, const QString& statement, const QVariantList& params,
                 bool showMsg, const QString& callerModule, const QString& callerProc) {
    if (!DB) {
        ReportStatementError(nullptr, QStringLiteral("SQL_Execute"), ErrNum::kObjectNotSet,
                             QStringLiteral("No database is open."), statement, showMsg,
                             callerModule, callerProc);
        return false;
    }
    try {
        DB->Execute(statement, params);
        return true;
    } catch (const db::Error& e) {
        ReportStatementError(DB, QStringLiteral("SQL_Execute"), e.code(), e.message(),
                             e.statement().isEmpty() ? statement : e.statement(), showMsg,
                             callerModule, callerProc);
        return false;
    }
}

bool SQL_OpenRecordset(db::Database* DB, std::unique_ptr<db::Recordset>& rs,
                       const QString& statement, const QVariantList& params, bool showMsg,
                       const QString& callerModule, const QString& callerProc) {
    if (!DB) {
        ReportStatementError(nullptr, QStringLiteral("SQL_OpenRecordset"), ErrNum::kObjectNotSet,
                             QStringLiteral("No database is open."), statement, showMsg,
                             callerModule, callerProc);
        return false;
    }
    try {
        rs = DB->Query(statement, params);
        return true;
    } catch (const db::Error& e) {
        ReportStatementError(DB, QStringLiteral("SQL_OpenRecordset"), e.code(), e.message(),
                             e.statement().isEmpty() ? statement : e.statement(), showMsg,
                             callerModule, callerProc);
        return false;
    }
}

void SQL_CloseDatabase(std::unique_ptr<db::Database>& DB, bool showMsg,
                       const QString& callerModule, const QString& callerProc) {
    if (!DB) {
        LogError(kModule, QStringLiteral("SQL_CloseDatabase"), ErrNum::kObjectNotSet,
                 CallerPart(callerModule, callerProc) + QStringLiteral("No database is open."),
                 showMsg);
        return;
    }
    DB.reset();
}

bool SQL_InTransaction(db::Database* DB, bool showMsg, const QString& callerModule,
                       const QString& callerProc, const std::function<bool()>& work) {
    if (!DB) {
        LogError(kModule, QStringLiteral("SQL_InTransaction"), ErrNum::kObjectNotSet,
                 CallerPart(callerModule, callerProc) + QStringLiteral("No database is open."),
                 showMsg);
        return false;
    }
    try {
        db::Transaction transaction(*DB);
        if (!work())
            return false;  // the transaction rolls back as it goes out of scope
        transaction.Commit();
        return true;
    } catch (const db::Error& e) {
        Report(DB, QStringLiteral("SQL_InTransaction"), e.code(),
               CallerPart(callerModule, callerProc) + e.message(), showMsg);
        return false;
    }
}
