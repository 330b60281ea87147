#pragma once
// The desktop around the program: showing a file in the user's default application and raising
// another program's window. Neither is under our control, so both only try and say whether
// the try got through.

#include <QString>

namespace desk {

// Opens an existing file with the desktop's default application for its type. False when the
// file does not exist or the desktop would not take it; `error` then says why.
[[nodiscard]] bool OpenWithDesktop(const QString& path, QString* error = nullptr);

// Raises the window whose title holds `title`, with wmctrl when it is installed. Without wmctrl,
// or without such a window, nothing happens and the answer is false.
[[nodiscard]] bool BringToFront(const QString& title);

}  // namespace desk
