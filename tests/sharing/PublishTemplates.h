#pragma once
// The templates of tests/fixtures/make_publish_templates.py, written by openpyxl into a folder.

#include <QProcess>
#include <QString>

#include <stdexcept>

namespace testsupport {

inline void MakePublishTemplates(const QString& folder) {
    QProcess python;
    // The system interpreter: it is the one that has openpyxl.
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(SB_SOURCE_DIR "/tests/fixtures/make_publish_templates.py"), folder});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0)
        throw std::runtime_error("make_publish_templates.py failed: " +
                                 python.readAllStandardError().toStdString());
}

}  // namespace testsupport
