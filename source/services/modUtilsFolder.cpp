#include "services/modUtilsFolder.h"

#include "services/UserPrompts.h"

QString BrowseFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) {
    // The dialog hook already trims the trailing separator and keeps the root's.
    return AskFolder(owner, prompt, initialFolder);
}
