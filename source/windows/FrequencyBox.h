#pragma once
// The interval boxes of the file updates and options dialogs: a whole number of minutes from
// 1 to 32000, typed as any number and stored rounded to the nearest whole number (halves to
// the even neighbour).

#include <QString>

#include <cstdint>

class QLineEdit;

// The number a text stands for, blanks around it ignored; false when it is no number.
[[nodiscard]] bool ParseNumeric(const QString& text, double& value);
// The stored value of a validated box's text.
int16_t FrequencyValue(const QString& text);
// The numeric checks of a frequency box, from "not numeric" on, in the dialogs' order. `what`
// opens the messages: "Frequency" or "Refresh frequency". On failure the message is shown,
// the box's text selected and focused, and the result is false.
[[nodiscard]] bool ValidateFrequencyValue(QLineEdit* box, const QString& what);
