#pragma once
// Recalculating a workbook: one headless LibreOffice, started on first need with a private
// profile and kept while the program runs, loads the file with its links to other workbooks
// updated, recalculates every formula and stores it as .xlsx again; the result carries fresh
// cached values. A link to another workbook by a relative path is looked up from the folder
// the file lies in. LibreOffice is driven through its UNO interface by a small Python bridge
// (Debian's python3 with python3-uno), spoken to over a pipe.
//
// A LibreOffice that dies while starting or while recalculating is started once more for the
// same request, on a profile prepared anew; one that reports the workbook broken is not. Each
// such event goes to the reporter. Calls come from one thread at a time; while it waits, the thread runs the engine's
// wait hook (Waiting.h).

#include <QByteArray>
#include <QString>

#include <functional>

namespace xl {

// The recalculated workbook's bytes. Throws xl::Error: without soffice on the PATH
// "LibreOffice (soffice) is needed to recalculate workbooks and was not found.", without
// python3-uno a message naming that package, and when LibreOffice fails or does not finish in
// time (it is then stopped, and started afresh by the next request).
QByteArray RecalculateFile(const QString& path);
// The same for a workbook held in memory (written to a temporary folder first).
QByteArray RecalculateBytes(const QByteArray& xlsx, const QString& name);

// How long LibreOffice may take to start, and then to recalculate one workbook, in
// milliseconds (120 s unless a test shortens it).
void SetRecalcTimeout(int milliseconds);

// Where each recalculation's story goes (LibreOffice started, how long a workbook took, a
// LibreOffice that died and was started again): the program's log.
void SetRecalcReporter(std::function<void(const QString&)> reporter);

// The process id of the running LibreOffice; 0 when none runs.
qint64 RecalcInstancePid();
// Stops LibreOffice and its bridge; the next request starts them again. Also done when the
// program's QCoreApplication ends.
void StopRecalculation();

}  // namespace xl
