#pragma once
// The workbook of the range location tests, written by openpyxl (make_range_workbooks.py) into
// a folder of the test program's own, once per run.

#include "FixtureTools.h"

#include <QString>
#include <QTemporaryDir>

#include <stdexcept>

namespace testsupport {

inline QString RangeWorkbookFolder() {
    const ScriptFolder& made = FolderMadeBy(QStringLiteral("make_range_workbooks.py"));
    if (!made.why.isEmpty())
        throw std::runtime_error(made.why.toStdString());
    return made.path + QStringLiteral("/");
}

}  // namespace testsupport
