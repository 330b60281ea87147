#include "services/modMain.h"

#include "services/App.h"
#include "services/ProgramIcon.h"
#include "services/UserExcel.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "services/modUtilsSQL.h"

#include <QList>
#include <QPair>

std::unique_ptr<db::Database> gDB;
int32_t gDashboardColor = 16777215;
bool gPanelTimeStamp = true;
int16_t gRefreshFrequency = 10;
QString gCaptionAlignment = QStringLiteral("Center");

namespace {

const QString kModule = QStringLiteral("Main");
const QString kOptions = QStringLiteral("Options");
constexpr int32_t kDefaultRefreshFrequency = 10;
constexpr int32_t kMaxRefreshFrequency = 32000;

QString FolderBesideProgram(const QString& name) {
    const QString folder = App::WithSeparator(App::Path()) + name + QLatin1Char('/');
    if (!FolderExists(folder) && !FolderCreate(folder))
        return QString();
    return folder;
}

}  // namespace

bool ReadOptionsSettings(const QString& iniPath, bool /*flag*/) {
    gDashboardColor = INI_ReadInt(iniPath, kOptions, QStringLiteral("Dashboard Color"), 16777215);
    gPanelTimeStamp = INI_ReadInt(iniPath, kOptions, QStringLiteral("Panel Time Stamp"), -1) != 0;
    const int32_t frequency = INI_ReadInt(iniPath, kOptions, QStringLiteral("Refresh Frequency"),
                                          kDefaultRefreshFrequency);
    // A value that no options dialog could have stored is taken as the default; 0 stays 0.
    gRefreshFrequency = static_cast<int16_t>(
        frequency < 0 || frequency > kMaxRefreshFrequency ? kDefaultRefreshFrequency : frequency);
    gCaptionAlignment = INI_ReadString(iniPath, kOptions, QStringLiteral("Caption Alignment"),
                                       QStringLiteral("Center"));
    return true;
}

bool GetOptionsSettings() { return ReadOptionsSettings(GetINIFile(), true); }

QString SaveOptionsSettings() {
    const QString ini = GetINIFile();
    const QList<QPair<QString, QString>> values = {
        {QStringLiteral("Dashboard Color"), QString::number(gDashboardColor)},
        {QStringLiteral("Panel Time Stamp"),
         gPanelTimeStamp ? QStringLiteral("-1") : QStringLiteral("0")},
        {QStringLiteral("Refresh Frequency"), QString::number(gRefreshFrequency)},
        {QStringLiteral("Caption Alignment"), gCaptionAlignment},
    };
    for (const auto& [key, value] : values) {
        if (const int error = INI_WriteString(ini, kOptions, key, value)) {
            const QString why = WriteFailureText(error, ini);
            LogEvent(kModule, QStringLiteral("SaveOptionsSettings"),
                     QStringLiteral("[") + ini + QStringLiteral("] not written: ") + why);
            return why;
        }
    }
    return QString();
}

QString GetRepositoryFile() {
    return App::WithSeparator(App::Path()) + App::EXEName() + QStringLiteral(".pvdu");
}

QString GetPanelsFolder() { return FolderBesideProgram(QStringLiteral("Panels")); }

QString GetTemplatesFolder() { return FolderBesideProgram(QStringLiteral("Templates")); }

bool InitStandard() {
    const QString path = GetRepositoryFile();
    if (!FileExists(path)) {
        LogEvent(kModule, QStringLiteral("InitStandard"),
                 QStringLiteral("Project file [") + path + QStringLiteral("] not found.  Unable to continue loading ") +
                     App::Title() + QLatin1Char('.'),
                 true);
        return false;
    }
    if (!InitRepository(gDB, path)) {
        LogEvent(kModule, QStringLiteral("InitStandard"),
                 QStringLiteral("Selected file is not a valid ") + App::Title() + QStringLiteral(" project file."),
                 true);
        gDB.reset();
        return false;
    }
    return true;
}

bool Main(const std::function<void()>& showMainWindow) {
    InstallProgramIcon();
    InitLog(GetLogFile(), false, false);
    SetHelpFile();
    // Options never stop the start: a value missing or out of range takes its default.
    (void)GetOptionsSettings();
    if (!InitStandard()) {
        MsgBox(QStringLiteral("Error occurred during initialization of ") + App::Title() +
                   QStringLiteral(".\r\nIf this occurred right after install, try re-running the application \r\n"
                                  "by clicking on the icon in the desktop or via the Start menu."),
               vbOKOnly | vbInformation, App::Title());
        return false;
    }
    // Cells copied before the first paste count: they name the workbook of a chart copied next.
    WatchUserSpreadsheet();
    if (showMainWindow)
        showMainWindow();
    return true;
}

void Main_Exit() {
    if (gDB)
        SQL_CloseDatabase(gDB, true, kModule, QStringLiteral("Main_Exit"));
}

bool HasDrillback(int32_t sourceID, const QString& sheetName, db::Database* DB) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs,
                           QStringLiteral("SELECT * FROM DsbDrillback WHERE PanelSourceID = ? AND Sheet = ?"),
                           {sourceID, sheetName}, true, kModule, QStringLiteral("HasDrillback")))
        return false;
    const bool found = !rs->EOF_();
    rs->Close();
    return found;
}

bool DeleteSystemSettings(const QString& key) {
    return SQL_Execute(gDB.get(), QStringLiteral("DELETE FROM DsbSystem WHERE PropertyKey = ?"), {key},
                       true, kModule, QStringLiteral("DeleteSystemSettings"));
}

QString GetSystemSettings(const QString& key) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT PropertyValue FROM DsbSystem WHERE PropertyKey = ?"),
                           {key}, true, kModule, QStringLiteral("GetSystemSettings")))
        return QString();
    const QString value = rs->EOF_() ? QString() : rs->Text(QStringLiteral("PropertyValue"));
    rs->Close();
    return value;
}

bool SaveSystemSettings(const QString& key, const QString& value) {
    return SQL_Execute(gDB.get(),
                       QStringLiteral("INSERT INTO DsbSystem (PropertyKey, PropertyValue) VALUES (?,?)"),
                       {key, value}, true, kModule, QStringLiteral("SaveSystemSettings"));
}
