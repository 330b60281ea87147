#pragma once
// The program's profile files, with the rules of the classic profile functions: sections and
// keys are found without regard to letter case, a value is at most 255 characters, other lines
// are kept byte for byte, and the file is made on the first write. Reading never fails: a
// missing file or key gives the default.

#include <QString>

// The INI file beside the program: <program folder>/<program name>.INI
QString GetINIFile();

QString INI_ReadString(const QString& file, const QString& section, const QString& key,
                       const QString& defaultText);
int32_t INI_ReadInt(const QString& file, const QString& section, const QString& key,
                    int32_t defaultValue);
// Sets the key's value, adding the key or its section when missing; the file is replaced whole
// or not at all. 0 when written; otherwise the system's error number (WriteFailureText says it
// in words).
[[nodiscard]] int INI_WriteString(const QString& file, const QString& section, const QString& key,
                                  const QString& value);
