#pragma once
// The one way every part of the program reports a failure or an event: a line in the text log
// beside the program, a row in the optional log database, and a message box when asked for.

#include <QString>

#include <cstdint>

QString GetLogFile();
void InitLog(const QString& logPath, bool fresh, bool quiet);
void LogError(const QString& module, const QString& procedure, int32_t number,
              const QString& description, bool showMsg = true);
void LogEvent(const QString& module, const QString& procedure, const QString& message,
              bool showMsg = false);

// Work nobody asked for at that moment (the periodic refresh). While one of these lives, the
// failures that LogError and LogEvent would show in a message box go to the log and the status
// bar instead: a box that nobody is there to close would keep the window busy behind it. When
// the outermost one goes, the last of those failures stays on the status bar.
class UnattendedWork {
public:
    UnattendedWork();
    ~UnattendedWork();
    UnattendedWork(const UnattendedWork&) = delete;
    UnattendedWork& operator=(const UnattendedWork&) = delete;
};
[[nodiscard]] bool IsUnattended();

// The state the reporters run on, for the status of a run and for tests.
[[nodiscard]] bool LogFileOn();
[[nodiscard]] bool LogDBOn();
QString LogDBPath();
void SetLogQuiet(bool quiet);
// Forgets the open log (tests start each case from nothing).
void ResetLog();

// Error numbers of failures that have no number of their own.
namespace ErrNum {
constexpr int32_t kGeneral = 5;         // invalid procedure call or argument
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kFileAccess = 75;     // path/file access error
constexpr int32_t kObjectNotSet = 91;
constexpr int32_t kUnreadable = 1004;   // a workbook or file the program can't read
constexpr int32_t kRowDeleted = 3167;   // a row to update is gone ("Record is deleted")
}  // namespace ErrNum
