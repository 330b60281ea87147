#include "services/modUtilsHelp.h"

#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsINI.h"
#include "services/modUtilsLog.h"

#include <QFileInfo>
#include <QUrl>

namespace {
const QString kModule = QStringLiteral("modHTMLHelp");
constexpr int32_t kDefaultContext = 10;

QString& HelpPath() {
    static QString path;
    return path;
}

// Where start-up looks for the help page; also named by the box when it wasn't there.
QString ExpectedHelpFile() {
    return App::Path() + QLatin1Char('/') + App::EXEName() + QStringLiteral(".html");
}

HelpViewer& Viewer() {
    static HelpViewer viewer;
    return viewer;
}
}  // namespace

void SetHelpFile() {
    HelpPath() = ExpectedHelpFile();
    if (!FileExists(HelpPath())) {
        LogEvent(kModule, QStringLiteral("SetHelpFile"),
                 HelpPath() + QStringLiteral(" not found. Will not be able to load help file."),
                 false);
        HelpPath().clear();
    }
}

QString HelpFile() { return HelpPath(); }

void SetHelpFilePath(const QString& path) { HelpPath() = path; }

QString GetHelpINIFile() {
    return App::Path() + QLatin1Char('/') + App::EXEName() + QStringLiteral("Help.INI");
}

int32_t GetHelpContextID(const QString& topic) {
    if (topic.trimmed().isEmpty())
        return 0;
    return INI_ReadInt(GetHelpINIFile(), QStringLiteral("Help"), topic, 0);
}

void ShowHelp(QWidget* /*owner*/, const QString& topic) {
    const QString file = HelpFile();
    if (file.isEmpty()) {
        MsgBox(QStringLiteral("Unable to load help file. ") + ExpectedHelpFile() +
                   QStringLiteral(" not found."),
               vbOKOnly | vbInformation);
        return;
    }
    int32_t id = GetHelpContextID(topic);
    if (id < 1) {
        id = kDefaultContext;
        if (!topic.trimmed().isEmpty())
            LogEvent(kModule, QStringLiteral("ShowHelp"),
                     QStringLiteral("Topic [") + topic +
                         QStringLiteral("] not found in help INI file ") + GetHelpINIFile() +
                         QStringLiteral("."),
                     false);
    }
    // The page may have gone since start-up found it; an empty help window would say nothing.
    if (!QFileInfo(file).isReadable()) {
        LogError(kModule, QStringLiteral("ShowHelp"), ErrNum::kFileNotFound,
                 QStringLiteral("Error loading ") + file + QStringLiteral(". \r\n") +
                     QStringLiteral("File not found"),
                 true);
        return;
    }
    QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    url.setFragment(QString::number(id));
    if (Viewer().show)
        Viewer().show(url);
}

void CloseHelp() {
    if (Viewer().close)
        Viewer().close();
}

void SetHelpViewer(HelpViewer viewer) { Viewer() = std::move(viewer); }
