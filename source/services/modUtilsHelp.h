#pragma once
// The program's help page: Sheetbeacon.html beside the program, one section per window.

#include <QString>

// Sets the help file at start-up, or clears it (with an event in the log) when it is missing.
void SetHelpFile();
QString HelpFile();
void SetHelpFilePath(const QString& path);
