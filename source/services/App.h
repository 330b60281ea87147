#pragma once
// The program's identity and folder, under the names the procedures use: App.Path, App.Title
// and App.EXEName. The program folder is the executable's folder; tests point it elsewhere.

#include <QString>

namespace App {

QString Path();                     // the program folder, without a trailing separator
void SetPath(const QString& folder);  // tests: a temporary program folder
QString Title();                    // "Sheetbeacon"
QString EXEName();                  // the program file's name without extension
QString Version();                  // "major.minor.patch"
// The folder path with its separator appended unless it already ends with one.
QString WithSeparator(const QString& folder);

}  // namespace App
