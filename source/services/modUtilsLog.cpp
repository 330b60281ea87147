#include "services/modUtilsLog.h"

#include "platform/database/Database.h"
#include "services/App.h"
#include "services/StatusText.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsSQL.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

struct LogState {
    QString logFile;
    bool fileLogOn = false;
    QString logDBPath;
    bool dbLogOn = false;
    bool quiet = false;
    bool writingRow = false;  // a report made while a log row is written goes to the text log only
};

LogState& State() {
    static LogState state;
    return state;
}

// Apart from the log's state, which tests forget between cases while work may be running.
struct Unattended {
    int depth = 0;
    QString lastReport;
};

Unattended& UnattendedState() {
    static Unattended state;
    return state;
}

// A report that would be a message box: one, or a line on the status bar during unattended work.
void ShowReport(const QString& text) {
    if (State().quiet)
        return;
    if (IsUnattended()) {
        QString line = text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        UnattendedState().lastReport = line;
        ShowStatus(line);
        return;
    }
    MsgBox(text, vbOKOnly | vbExclamation, App::Title());
}

constexpr qint64 kRollOverBytes = 1000000;
const QString kCrLf = QStringLiteral("\r\n");

QString NowText() {
    const QDateTime now = QDateTime::currentDateTime();
    return QLocale::system().toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           now.time().toString(QStringLiteral("HH:mm:ss"));
}

QString SourceOf(const QString& module, const QString& procedure) {
    if (procedure.isEmpty())
        return module;
    if (module.isEmpty())
        return procedure;
    return module + QLatin1Char('.') + procedure;
}

void AppendToLog(const QString& entry) {
    auto& s = State();
    if (!s.fileLogOn)
        return;
    QFile f(s.logFile);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    f.write(entry.toUtf8());
}

void WriteLogError(const QString& source, int32_t number, const QString& description) {
    AppendToLog(NowText() + QStringLiteral(" Error on [") + source + QLatin1Char(']') + kCrLf +
                QStringLiteral("Error: (") + QString::number(number) + QStringLiteral(") ") +
                description + kCrLf);
}

void WriteLogEvent(const QString& module, const QString& procedure, const QString& message) {
    AppendToLog(NowText() + QStringLiteral(" Event at [") + SourceOf(module, procedure) +
                QStringLiteral("]: ") + message + kCrLf);
}

void InitFileLog(const QString& logPath, bool fresh) {
    auto& s = State();
    s.logFile = logPath;
    if (logPath.isEmpty())
        return;
    const QFileInfo info(logPath);
    if (fresh && info.isFile()) {
        if (!QFile::remove(logPath))
            return;
    } else if (info.isFile() && info.size() > kRollOverBytes) {
        const QString rolled = logPath.left(logPath.size() - 4) + QLatin1Char('_') +
                               QDateTime::currentDateTime().toString(QStringLiteral("yyMMdd_HHmm")) +
                               QStringLiteral(".log");
        if (!FileRename(logPath, rolled))
            return;
    }
    QFile f(logPath);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QByteArray header =
        (kCrLf + kCrLf + NowText() + QLatin1Char('\t') + App::Title() + kCrLf).toUtf8();
    if (f.write(header) != header.size())
        return;
    s.fileLogOn = true;
}

void InitDBLog() {
    auto& s = State();
    const QString ini = GetINIFile();
    s.logDBPath = INI_ReadString(ini, QStringLiteral("Settings"), QStringLiteral("Log DB"), QString());
    if (s.logDBPath.isEmpty()) {
        WriteLogEvent(QStringLiteral("modUtilsLog"), QStringLiteral("InitDBLog"),
                      QStringLiteral("No 'Log DB' value specified in [Settings] section of ") + ini);
        return;
    }
    if (!QFileInfo(s.logDBPath).isFile()) {
        WriteLogEvent(QStringLiteral("modUtilsLog"), QStringLiteral("InitDBLog"),
                      QStringLiteral("Invalid error log database name ") + s.logDBPath);
        return;
    }
    std::unique_ptr<db::Database> logDb;
    if (!SQL_OpenDatabase(logDb, s.logDBPath, kConnectString, false, QStringLiteral("modUtilsLog"),
                          QStringLiteral("InitDBLog"))) {
        WriteLogEvent(QStringLiteral("modUtilsLog"), QStringLiteral("InitDBLog"),
                      QStringLiteral("Error opening database ") + s.logDBPath);
        return;
    }
    std::unique_ptr<db::Recordset> rs;
    if (SQL_OpenRecordset(logDb.get(), rs, QStringLiteral("SELECT COUNT(*) FROM Kolo_ErrorLogs"), {},
                          false, QStringLiteral("modUtilsLog"), QStringLiteral("InitDBLog"))) {
        s.dbLogOn = true;
        rs->Close();
    }
    SQL_CloseDatabase(logDb, false, QStringLiteral("modUtilsLog"), QStringLiteral("InitDBLog"));
}

// Writes one row. The log database is reached directly rather than through the repository
// routines: their failures would be reported here again, without end.
void LogDBLog(const QString& module, const QString& procedure, const QString& logType,
              int32_t number, const QString& description) {
    auto& s = State();
    if (!s.dbLogOn || s.writingRow)
        return;
    s.writingRow = true;
    try {
        auto logDb = db::Database::Open(s.logDBPath, DatabaseKey(kConnectString));
        logDb->Execute(QStringLiteral("INSERT INTO Kolo_ErrorLogs (ApplicationName, ModuleName, "
                                      "ProcedureName, LogType, LogTime, LogNumber, LogDescription) "
                                      "VALUES (?,?,?,?,?,?,? )"),
                       {App::Title(), module, procedure, logType, QDateTime::currentDateTime(),
                        number, description});
    } catch (const db::Error& e) {
        WriteLogError(QStringLiteral("modUtilsLog.LogDBLog"), e.code(),
                      QStringLiteral("[") + s.logDBPath + QStringLiteral("] ") + e.message());
    }
    s.writingRow = false;
}

}  // namespace

QString GetLogFile() {
    return App::WithSeparator(App::Path()) + App::EXEName() + QStringLiteral(".log");
}

void InitLog(const QString& logPath, bool fresh, bool quiet) {
    State().quiet = quiet;
    InitFileLog(logPath, fresh);
    InitDBLog();
}

void LogError(const QString& module, const QString& procedure, int32_t number,
              const QString& description, bool showMsg) {
    const QString source = SourceOf(module, procedure);
    WriteLogError(source, number, description);
    LogDBLog(module, procedure, QStringLiteral("Error"), number, description);
    if (!showMsg)
        return;
    if (IsUnattended())
        ShowReport(description);
    else
        ShowReport(QStringLiteral("Error Source:  ") + source + kCrLf + QStringLiteral("Number:  ") +
                   QString::number(number) + kCrLf + QStringLiteral("Description:  ") + description);
}

void LogEvent(const QString& module, const QString& procedure, const QString& message,
              bool showMsg) {
    WriteLogEvent(module, procedure, message);
    LogDBLog(module, procedure, QStringLiteral("Event"), 0, message);
    if (showMsg)
        ShowReport(message);
}

UnattendedWork::UnattendedWork() {
    if (UnattendedState().depth++ == 0)
        UnattendedState().lastReport.clear();
}

UnattendedWork::~UnattendedWork() {
    Unattended& state = UnattendedState();
    if (--state.depth == 0 && !state.lastReport.isEmpty())
        ShowLastingStatus(state.lastReport);
}

bool IsUnattended() { return UnattendedState().depth > 0; }

bool LogFileOn() { return State().fileLogOn; }
bool LogDBOn() { return State().dbLogOn; }
QString LogDBPath() { return State().logDBPath; }
void SetLogQuiet(bool quiet) { State().quiet = quiet; }

void ResetLog() { State() = LogState(); }
