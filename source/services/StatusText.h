#pragma once
// What a long piece of work is doing now ("Recalculating Sales.xlsx in LibreOffice..."), for the
// window that shows it: the main window's status bar. Nothing shows while no window listens.

#include <QString>

#include <functional>

// `lasting`: the text stays until the next one (an outcome the user should find when they look);
// otherwise it is the progress of work under way.
void SetStatusSink(std::function<void(const QString& text, bool lasting)> sink);
void ShowStatus(const QString& text);
void ShowLastingStatus(const QString& text);
