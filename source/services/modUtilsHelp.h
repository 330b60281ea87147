#pragma once
// The program's help page: Sheetbeacon.html beside the program, one section per window, each
// anchored by its context ID; SheetbeaconHelp.INI maps the windows' help topics to those IDs.

#include <QString>

#include <cstdint>
#include <functional>

class QUrl;
class QWidget;

// Sets the help file at start-up, or clears it (with an event in the log) when it is missing.
void SetHelpFile();
QString HelpFile();
void SetHelpFilePath(const QString& path);

// The help topic file beside the program.
QString GetHelpINIFile();
// The context ID of a topic; 0 for a blank topic or one the topic file doesn't map.
int32_t GetHelpContextID(const QString& topic);
// Opens the help window, modeless, at the topic's section (the contents for an unknown topic).
// The owner is accepted for the callers' sake; the help window stands on its own beside them.
void ShowHelp(QWidget* owner, const QString& topic);
// Closes the help window. It has no owner, so without this it would keep the program running
// after the main window has closed.
void CloseHelp();

// The window that shows the help page at a section, and closes it again. The UI helpers
// install it at start-up (ui/PromptDialogs.h); without it, asking for help only checks and logs.
struct HelpViewer {
    std::function<void(const QUrl&)> show;
    std::function<void()> close;
};
void SetHelpViewer(HelpViewer viewer);
