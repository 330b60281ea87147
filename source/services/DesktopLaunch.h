#pragma once
// Opening a document with the desktop's default application and starting another program.
// While prompts are scripted (tests) nothing is launched: each request is recorded instead and
// answered with the scripted result, so a test run never opens a viewer on the desktop.

#include <QString>
#include <QStringList>

namespace DesktopLaunch {

// Opens a local file (or a web address) with the desktop's default application.
[[nodiscard]] bool OpenDocument(const QString& pathOrUrl);
// Opens it for a command the user chose (a guide, the web site): when no application would
// take it, the user is told and the log names the command.
void ShowDocument(const QString& pathOrUrl, const QString& module, const QString& procedure);
// Starts a program found on the PATH, detached from this one.
[[nodiscard]] bool StartProgram(const QString& program);

// Scripted runs only: the requests so far ("open <path>" / "start <program>") and the result
// the next requests get (true unless set).
QStringList Requests();
void SetScriptedResult(bool ok);
void ResetScript();

}  // namespace DesktopLaunch
