#pragma once
// The program's profile files, with the rules of the classic profile functions: sections and
// keys are found without regard to letter case, a value is at most 255 characters, other lines
// are kept as they are, and the file is made on the first write. Failures are swallowed.

#include <QString>

// The INI file beside the program: <program folder>/<program name>.INI
QString GetINIFile();

QString INI_ReadString(const QString& file, const QString& section, const QString& key,
                       const QString& defaultText);
int32_t INI_ReadInt(const QString& file, const QString& section, const QString& key,
                    int32_t defaultValue);
void INI_WriteString(const QString& file, const QString& section, const QString& key,
                     const QString& value);
