#include "platform/workbook/NumberFormat.h"

namespace xl {

// A first cut that knows only "General"; the full format engine replaces it.
QString BuiltInFormatCode(int numFmtId) {
    return numFmtId == 0 ? QStringLiteral("General") : QStringLiteral("General");
}

FormattedValue FormatValue(const CellValue& value, const QString& /*formatCode*/, bool /*date1904*/,
                           int generalMaxChars) {
    FormattedValue out;
    switch (value.type) {
    case ValueType::Empty: break;
    case ValueType::Text:
    case ValueType::Error: out.text = value.text; break;
    case ValueType::Boolean: out.text = value.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"); break;
    case ValueType::Number: out.text = QString::number(value.number, 'g', std::max(1, generalMaxChars - 1)); break;
    }
    return out;
}

}  // namespace xl
