#include "ui/HelpWindow.h"

#include "services/App.h"

#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QPointer<QWidget>& HelpWindow() {
    static QPointer<QWidget> window;
    return window;
}

QTextBrowser* OpenHelpWindow() {
    QPointer<QWidget>& window = HelpWindow();
    if (!window) {
        window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("frmHelp"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(App::Title() + QStringLiteral(" Help"));
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("txtHelp"));
        browser->setOpenExternalLinks(true);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(640, 560);
    }
    return window->findChild<QTextBrowser*>(QStringLiteral("txtHelp"));
}

}  // namespace

void ShowHelpWindow(const QUrl& page) {
    QTextBrowser* browser = OpenHelpWindow();
    browser->setSource(page);
    browser->scrollToAnchor(page.fragment());
    QWidget* window = browser->window();
    window->show();
    window->raise();
    window->activateWindow();
}

void CloseHelpWindow() {
    if (QWidget* window = HelpWindow())
        window->close();
}
