#include "services/App.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString& OverriddenPath() {
    static QString path;
    return path;
}
}  // namespace

namespace App {

QString Path() {
    if (!OverriddenPath().isEmpty())
        return OverriddenPath();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void SetPath(const QString& folder) {
    QString path = folder;
    while (path.size() > 1 && (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))))
        path.chop(1);
    OverriddenPath() = path;
}

QString Title() { return QStringLiteral("Sheetbeacon"); }

QString EXEName() { return QStringLiteral("Sheetbeacon"); }

QString Version() { return QStringLiteral(SB_VERSION); }

QString WithSeparator(const QString& folder) {
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    const QChar separator = folder.contains(QLatin1Char('\\')) && !folder.contains(QLatin1Char('/'))
                                ? QLatin1Char('\\')
                                : QLatin1Char('/');
    return folder + separator;
}

}  // namespace App
