#pragma once
// The one exception the workbook engine throws: a workbook it can't read, an address it can't
// take, a member asked for something that isn't there. The message is meant for the user.

#include <QString>

#include <stdexcept>

namespace xl {

class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

}  // namespace xl
