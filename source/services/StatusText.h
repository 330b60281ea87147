#pragma once
// What a long piece of work is doing now ("Recalculating Sales.xlsx in LibreOffice..."), for the
// window that shows it: the main window's status bar. Nothing shows while no window listens.

#include <QString>

#include <functional>

void SetStatusSink(std::function<void(const QString&)> sink);
void ShowStatus(const QString& text);
