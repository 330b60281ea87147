#pragma once
// The one Yes/No confirmation of the program.

#include <QString>

// "Confirm Action" with the question icon, Yes and No, No the default: true only for Yes.
[[nodiscard]] bool ConfirmAction(const QString& prompt);
