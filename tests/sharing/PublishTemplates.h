#pragma once
// The templates of tests/fixtures/make_publish_templates.py, written by openpyxl into a folder.

#include "FixtureTools.h"

#include <QString>

#include <stdexcept>

namespace testsupport {

inline void MakePublishTemplates(const QString& folder) {
    const QString why = RunFixtureScript(QStringLiteral("make_publish_templates.py"), {folder});
    if (!why.isEmpty())
        throw std::runtime_error(why.toStdString());
}

}  // namespace testsupport
