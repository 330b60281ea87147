#include "services/modUtilsHelp.h"

#include "services/App.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"

namespace {
QString& HelpPath() {
    static QString path;
    return path;
}
}  // namespace

void SetHelpFile() {
    HelpPath() = App::Path() + QLatin1Char('/') + App::EXEName() + QStringLiteral(".html");
    if (!FileExists(HelpPath())) {
        LogEvent(QStringLiteral("modHTMLHelp"), QStringLiteral("SetHelpFile"),
                 HelpPath() + QStringLiteral(" not found. Will not be able to load help file."),
                 false);
        HelpPath().clear();
    }
}

QString HelpFile() { return HelpPath(); }

void SetHelpFilePath(const QString& path) { HelpPath() = path; }
