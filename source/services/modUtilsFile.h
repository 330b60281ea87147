#pragma once
// Files: existence checks, folder creation and renaming, reported to the log as events and
// never with a box.

#include <QString>

bool FileExists(const QString& path);    // normal files only
bool FolderExists(const QString& path);  // any entry: an existing file also answers true
bool FolderCreate(const QString& path);  // one level; the parent must exist
bool FileRename(const QString& oldPath, const QString& newPath);
// "/" when the path holds a "/" anywhere, else "\" (also for an empty path).
QString GetPathSeparator(const QString& path);
