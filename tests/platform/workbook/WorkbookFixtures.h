#pragma once
// Where the generated test workbooks are, and failing a test when they were not made.

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

// The build makes the fixtures with openpyxl, PIL and LibreOffice; without them it stops.
#define ASSERT_FIXTURE(path)                                                                \
    ASSERT_TRUE(fixtures::Exists(path))                                                     \
        << "fixture not made: " << (path).toStdString()                                    \
        << " (the build makes it with python3-openpyxl, python3-pil and libreoffice-calc:" \
           " scripts/install-deps --test)"
