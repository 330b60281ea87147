#include "services/modUtilsRepository.h"

#include "services/App.h"
#include "services/DashboardFileCheck.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QStringList>

namespace {
const QString kModule = QStringLiteral("Utils");

// A repository may be a file the user picked from anywhere: nothing stored in it runs, and it
// holds every table the program reads and writes, before it is used.
bool CheckRepository(db::Database& candidate, const QString& procedure) {
    db::GuardScope guard(candidate);
    try {
        const QString reason = UnreadableReason(candidate, DashboardFileKind::Repository);
        if (reason.isEmpty())
            return true;
        LogError(kModule, procedure, ErrNum::kUnreadable,
                 NotReadableMessage(candidate.Name(), DashboardFileKind::Repository, reason), false);
    } catch (const db::Error& e) {
        LogError(kModule, procedure, e.code(),
                 NotReadableMessage(candidate.Name(), DashboardFileKind::Repository, e.message()),
                 false);
    }
    return false;
}
}  // namespace

int RepositoryVersionStamp() {
    const QStringList parts = App::Version().split(QLatin1Char('.'));
    int stamp = 0;
    for (int i = 0; i < 3; ++i)
        stamp = stamp * 100 + (i < parts.size() ? parts[i].toInt() : 0);
    return stamp;
}

bool InitRepository(std::unique_ptr<db::Database>& DB, const QString& path) {
    if (!SQL_OpenDatabase(DB, path, kConnectString, false, kModule, QStringLiteral("InitRepository")))
        return false;
    if (!CheckRepository(*DB, QStringLiteral("InitRepository"))) {
        DB.reset();
        return false;
    }
    // Opening writes nothing: a repository on a read-only disk, in a read-only folder or on a
    // full disk opens and shows its dashboards, and only what the user saves can fail, saying
    // why.
    LogEvent(kModule, QStringLiteral("InitRepository"),
             QStringLiteral("opened database at ") + DB->Name(), false);
    return true;
}

bool ValidateRepository(const QString& path) {
    std::unique_ptr<db::Database> candidate;
    if (!SQL_OpenDatabase(candidate, path, kConnectString, false, kModule,
                          QStringLiteral("ValidateRepository")))
        return false;
    const bool valid = CheckRepository(*candidate, QStringLiteral("ValidateRepository"));
    SQL_CloseDatabase(candidate, false, kModule, QStringLiteral("ValidateRepository"));
    return valid;
}

void SaveDefaultRepository(const QString& path) {
    // It only fills in the repository dialog next time: a file that can't be written is logged.
    if (const int error = INI_WriteString(GetINIFile(), QStringLiteral("Session"),
                                          QStringLiteral("Repository"), path))
        LogEvent(kModule, QStringLiteral("SaveDefaultRepository"),
                 QStringLiteral("[") + GetINIFile() + QStringLiteral("] not written: ") +
                     WriteFailureText(error, GetINIFile()));
}

QString GetDefaultRepository() {
    return INI_ReadString(GetINIFile(), QStringLiteral("Session"), QStringLiteral("Repository"),
                          QString())
        .trimmed();
}
