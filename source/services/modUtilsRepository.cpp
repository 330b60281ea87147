#include "services/modUtilsRepository.h"

#include "services/App.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QStringList>

namespace {
const QString kModule = QStringLiteral("Utils");
}

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
    std::unique_ptr<db::Recordset> rs;
    const bool valid = SQL_OpenRecordset(candidate.get(), rs,
                                         QStringLiteral("SELECT * FROM DsbSavedWorkspace LIMIT 1"),
                                         {}, false, kModule, QStringLiteral("ValidateRepository"));
    if (valid)
        rs->Close();
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
