#pragma once
// Files: existence checks, folder creation, renaming and copying, path splitting, the newest
// file of a mask and file times. Failures go to the log as events, never with a box.

#include <QDateTime>
#include <QString>

[[nodiscard]] bool FileExists(const QString& path);    // normal files only
[[nodiscard]] bool FolderExists(const QString& path);  // any entry: an existing file also answers true
[[nodiscard]] bool FolderCreate(const QString& path);  // one level; the parent must exist
[[nodiscard]] bool FileRename(const QString& oldPath, const QString& newPath);
// "/" when the path holds a "/" anywhere, else "\" (also for an empty path).
QString GetPathSeparator(const QString& path);

// Copies a file over any existing target. The target is either left as it was or replaced by
// the whole copy; a target ending in a separator names the folder to copy into. The copy keeps
// the source's modification time, which the source update pass compares.
[[nodiscard]] bool File_Copy(const QString& source, const QString& target);
// Splits a path into its folder (no trailing separator), file name and extension. Each output
// is optional; the extension output is left unchanged when the name has none, and the file
// name keeps its extension when no extension output is given.
void SplitPath(const QString& fullPath, QString* folder = nullptr, QString* fileName = nullptr,
               QString* extension = nullptr);
// The text before the last separator; "" when there is none or it is the first character.
QString GetFolder(const QString& path);
// The newest normal file matching the mask ("*" and "?", any case) as folder, separator and
// name; "" when nothing matches or the mask is empty, "none" when the folder can't be searched.
QString NewestMatch(const QString& maskPath);
// The same among the workbooks the program can show (IsWorkbookName): a mask can name any
// file of a folder, and one that came with someone else's dashboard may aim at any.
QString NewestWorkbookMatch(const QString& maskPath);
// A file name ending in ".xlsx" or ".xlsm" (any case): a workbook the program can show.
[[nodiscard]] bool IsWorkbookName(const QString& name);
// Sets the file's access and modification times to the local date-time.
[[nodiscard]] bool AdjustFileTime(const QString& path, const QDateTime& when);

