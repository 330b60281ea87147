#pragma once
// The Qt dialogs behind the program's prompts (services/UserPrompts.h): message boxes, file,
// folder and colour dialogs, the list choice and the mail folder picker, owned by the main
// window unless the caller names a parent; and the help window behind ShowHelp.

class QWidget;

// Installs them; the program and the tests do it once, before anything is asked.
void InstallPromptDialogs();

// The owner of dialogs that have no window of their own to hang on (the main window). A prompt
// asked with no parent, as the layers without widgets ask, is owned by it.
void SetDialogOwner(QWidget* owner);
QWidget* DialogOwner();
