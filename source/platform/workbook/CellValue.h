#pragma once
// A cell's value as the workbook stores it: the cached result, never a formula.

#include <QString>

#include <cstdint>

namespace xl {

enum class ValueType : uint8_t { Empty, Number, Text, Boolean, Error };

struct CellValue {
    ValueType type = ValueType::Empty;
    double number = 0.0;  // Number; a Boolean is 0 or 1
    QString text;         // Text; an Error holds its code ("#N/A", "#DIV/0!", ...)

    static CellValue Number(double n) { return {ValueType::Number, n, {}}; }
    static CellValue Text(const QString& s) { return {ValueType::Text, 0.0, s}; }
    static CellValue Boolean(bool b) { return {ValueType::Boolean, b ? 1.0 : 0.0, {}}; }
    static CellValue Error(const QString& code) { return {ValueType::Error, 0.0, code}; }

    [[nodiscard]] bool IsEmpty() const { return type == ValueType::Empty; }
    bool operator==(const CellValue& o) const {
        return type == o.type && number == o.number && text == o.text;
    }
};

}  // namespace xl
