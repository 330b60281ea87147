#pragma once
// The folder picker the source and path dialogs offer.

#include <QString>

class QWidget;

// Asks for a folder, modal to the owner, with the prompt as title and the initial folder
// preselected. The chosen folder without a trailing separator, "" on cancel.
QString BrowseFolder(QWidget* owner, const QString& prompt, const QString& initialFolder);
