#pragma once
// Recalculating a workbook: LibreOffice, run headless as a separate process with a private
// profile (prepared once, kept while the program runs), loads the file with its links to other workbooks updated, recalculates every
// formula and stores it as .xlsx again; the result carries fresh cached values. A link to
// another workbook by a relative path is looked up from the folder the file lies in.

#include <QByteArray>
#include <QString>

#include <functional>

namespace xl {

// The recalculated workbook's bytes. Throws xl::Error: without soffice on the PATH
// "LibreOffice (soffice) is needed to recalculate workbooks and was not found.", and when it
// fails or does not finish in time (it is then killed).
QByteArray RecalculateFile(const QString& path);
// The same for a workbook held in memory (written to a temporary folder first).
QByteArray RecalculateBytes(const QByteArray& xlsx, const QString& name);

// Where each recalculation's story goes (how long it took, a LibreOffice that died and was
// started again): the program's log.
void SetRecalcReporter(std::function<void(const QString&)> reporter);

// How long LibreOffice may take, in milliseconds (120 s unless a test shortens it).
void SetRecalcTimeout(int milliseconds);

}  // namespace xl
