// Showing a file with the desktop's application and raising a window by its title, observed
// through Qt's URL handler hook and a stand-in wmctrl on the PATH.

#include "TestSupport.h"

#include "platform/desktop/DesktopShell.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>
#include <QUrl>

using namespace desk;

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

using testsupport::PathGuard;
using testsupport::WriteScript;

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(DesktopShellTest, OpenWithDesktopHandsOnlyExistingFilesToTheDesktop) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");

    QString error;
    EXPECT_FALSE(OpenWithDesktop(dir.path() + QStringLiteral("/Gone.xlsx"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("Gone.xlsx")));
    EXPECT_FALSE(OpenWithDesktop(QString(), &error));
    EXPECT_TRUE(catcher.urls.isEmpty());

    const QString path = dir.path() + QString::fromUtf8("/Q3 Résumé #1.xlsx");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_TRUE(OpenWithDesktop(path));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toLocalFile(), QFileInfo(path).absoluteFilePath());

    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

TEST(DesktopShellTest, BringToFrontUsesWmctrlWithTheTitleAsOneArgument) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString log = dir.filePath(QStringLiteral("args"));
    const QString marker = dir.filePath(QStringLiteral("pwned"));

    {
        // No wmctrl on the PATH: nothing happens.
        PathGuard path(dir.path());
        EXPECT_FALSE(BringToFront(QStringLiteral("Sales.xlsx - LibreOffice Calc")));
    }

    WriteScript(dir.filePath(QStringLiteral("wmctrl")),
                "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                    QFile::encodeName(log) + "'\n[ \"$2\" = missing ] && exit 1\nexit 0\n");
    PathGuard path(dir.path() + QStringLiteral(":/usr/bin:/bin"));
    const QString title = QString::fromUtf8("Q3 Résumé.xlsx - LibreOffice Calc; touch ") + marker;
    EXPECT_TRUE(BringToFront(title));
    EXPECT_EQ(QString::fromUtf8(ReadAll(log)), QStringLiteral("-a\n") + title + QLatin1Char('\n'));
    EXPECT_FALSE(QFile::exists(marker));

    // wmctrl finds no such window.
    EXPECT_FALSE(BringToFront(QStringLiteral("missing")));
    EXPECT_FALSE(BringToFront(QString()));
}

#include "shell_test.moc"
