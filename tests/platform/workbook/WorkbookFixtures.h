#pragma once
// Where the generated test workbooks are, and skipping a test when they were not made.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QString>

namespace fixtures {

inline QString Path(const QString& name) { return QStringLiteral(SB_FIXTURE_DIR "/") + name; }
inline QString LibreOfficeCopy(const QString& name) {
    return QStringLiteral(SB_FIXTURE_DIR "/libreoffice/") + name;
}
inline QString Bad(const QString& name) { return QStringLiteral(SB_FIXTURE_DIR "/bad/") + name; }
inline bool Exists(const QString& path) { return QFileInfo::exists(path); }

}  // namespace fixtures

#define SKIP_WITHOUT(path)                                                            \
    do {                                                                              \
        if (!fixtures::Exists(path))                                                  \
            GTEST_SKIP() << "fixture not made (openpyxl or soffice missing): "        \
                         << (path).toStdString();                                     \
    } while (0)
