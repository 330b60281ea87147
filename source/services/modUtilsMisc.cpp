#include "services/modUtilsMisc.h"

#include "services/UserPrompts.h"

bool ConfirmAction(const QString& prompt) {
    // No is the default, so an Enter pressed out of habit destroys nothing.
    return MsgBox(prompt, vbYesNo | vbQuestion | vbDefaultButton2,
                  QStringLiteral("Confirm Action")) == vbYes;
}
