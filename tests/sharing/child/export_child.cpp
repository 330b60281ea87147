// Exports dashboards of a program folder's repository through the Export dialog, as a user
// does, in a process of its own: the export tests kill it with kill -9 at any moment.
//
// Usage: export_child <program folder> <target file> <dashboard name>...
// Exit status 0 when the dialog exported and closed, 1 when it refused, 2 when the repository
// could not be opened.

#include "model/Globals.h"
#include "services/App.h"
#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsRepository.h"
#include "sharing/frmExport.h"

#include <QApplication>
#include <QListWidget>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: export_child <program folder> <target file> <dashboard>...\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    App::SetPath(QString::fromLocal8Bit(argv[1]));
    const QString target = QString::fromLocal8Bit(argv[2]);
    QStringList names;
    for (int i = 3; i < argc; ++i)
        names << QString::fromLocal8Bit(argv[i]);
    PromptScript::Enable();
    InitLog(GetLogFile(), false, false);
    if (!InitRepository(gDB, GetRepositoryFile()))
        return 2;
    gSources = std::make_unique<clsSources>();
    gWorkspace = std::make_unique<clsWorkspace>();

    frmExport dialog;
    dialog.Form_Load();
    for (int i = 0; i < dialog.list()->count(); ++i)
        dialog.list()->item(i)->setSelected(names.contains(dialog.list()->item(i)->text()));
    PromptScript::QueueDialog(QStringLiteral("save"), target);
    std::printf("exporting\n");
    std::fflush(stdout);
    dialog.cmdOK_Click();
    for (const QString& shown : PromptScript::Messages())
        std::fprintf(stderr, "%s\n", qPrintable(shown));
    const bool exported = dialog.Unloaded();
    gWorkspace.reset();
    gSources.reset();
    gDB.reset();
    return exported ? 0 : 1;
}
