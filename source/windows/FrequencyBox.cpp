#include "windows/FrequencyBox.h"

#include "windows/DialogForm.h"

#include <QLineEdit>
#include <QLocale>

#include <cmath>

namespace {
constexpr double kMaxFrequency = 32000;
}  // namespace

bool ParseNumeric(const QString& text, double& value) {
    bool ok = false;
    const double parsed = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

int16_t FrequencyValue(const QString& text) {
    double value = 0;
    if (!ParseNumeric(text, value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded < -32768 || rounded > 32767)
        return 0;
    return static_cast<int16_t>(rounded);
}

bool ValidateFrequencyValue(QLineEdit* box, const QString& what) {
    double value = 0;
    if (!ParseNumeric(box->text(), value)) {
        RefuseText(what + QStringLiteral(" must be numeric."), box);
        return false;
    }
    // A value that rounds to 0 would be stored as 0 minutes: no interval at all.
    if (value <= 0 || std::nearbyint(value) == 0) {
        RefuseText(what + QStringLiteral(" must be greater than 0."), box);
        return false;
    }
    if (value > kMaxFrequency) {
        RefuseText(QStringLiteral("Refresh frequency cannot be greater than 32,000."), box);
        return false;
    }
    return true;
}
