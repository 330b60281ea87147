#pragma once
// The workbook of the range location tests, written by openpyxl (make_range_workbooks.py) into
// a folder of the test program's own, once per run.

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <stdexcept>

namespace testsupport {

inline QString RangeWorkbookFolder() {
    static QTemporaryDir dir;
    static const QString folder = [] {
        // The system Python has openpyxl; a user's own Python may lack it.
        const QString interpreter = QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
                                        ? QStringLiteral("/usr/bin/python3")
                                        : QStringLiteral("python3");
        QProcess python;
        python.start(interpreter,
                     {QStringLiteral(SB_SOURCE_DIR "/tests/fixtures/make_range_workbooks.py"),
                      dir.path()});
        if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit ||
            python.exitCode() != 0)
            throw std::runtime_error("make_range_workbooks.py failed: " +
                                     python.readAllStandardError().toStdString());
        return dir.path() + QStringLiteral("/");
    }();
    return folder;
}

}  // namespace testsupport
