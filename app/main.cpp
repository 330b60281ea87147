#include "services/modMain.h"
#include "ui/PromptDialogs.h"
#include "windows/frmWorkspace.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sheetbeacon"));
    InstallPromptDialogs();
    if (!Main([] { (new frmWorkspace)->show(); }))
        return 0;
    return QApplication::exec();
}
