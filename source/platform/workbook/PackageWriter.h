#pragma once
// Writing a package back to disk: the zip of its parts, and the file replaced atomically (a
// temporary file beside the target, flushed to disk, then renamed over it), so that a crash or
// a full disk leaves either the old workbook or the new one, never a broken file.

#include "platform/workbook/Package.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace xl {

// The zip of the entries, in their order: each part given is deflated, each entry that names
// its place in `source` is copied from there as it is stored, without inflating it. Throws
// xl::Error.
QByteArray ZipEntries(const QList<ZipEntry>& entries, const Package& source = Package());

// Replaces (or creates) `path` with `bytes`. Refuses a missing folder, a read-only target and
// a target locked by a spreadsheet program with a clear xl::Error; on any failure the old
// file is untouched and no temporary file is left behind.
void WriteFileAtomically(const QString& path, const QByteArray& bytes);

// The lock file a spreadsheet program keeps beside a workbook it has open
// (".~lock.<name>#"); empty when there is none.
QString LockFileOf(const QString& path);

}  // namespace xl
