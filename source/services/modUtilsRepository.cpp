#include "services/modUtilsRepository.h"

#include "services/App.h"
#include "services/DashboardFileCheck.h"
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
    try {
        LogEvent(kModule, QStringLiteral("InitRepository"),
                 QStringLiteral("opened database at ") + DB->Name(), false);
        // Marks the file with the version of the program that last opened it; nothing reads it.
        DB->SetUserVersion(RepositoryVersionStamp());
        return true;
    } catch (const db::Error& e) {
        LogError(kModule, QStringLiteral("InitRepository"), e.code(), e.message(), true);
        return false;
    }
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
    INI_WriteString(GetINIFile(), QStringLiteral("Session"), QStringLiteral("Repository"), path);
}

QString GetDefaultRepository() {
    return INI_ReadString(GetINIFile(), QStringLiteral("Session"), QStringLiteral("Repository"),
                          QString())
        .trimmed();
}
