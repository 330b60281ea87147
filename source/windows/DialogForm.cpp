#include "windows/DialogForm.h"

#include "services/UserPrompts.h"
#include "services/modUtilsLog.h"

#include <QLabel>
#include <QLineEdit>

void DialogForm::Show() {
    Form_Activate();
    if (!unloaded_)
        exec();
}

void DialogForm::Unload(int result) {
    unloaded_ = true;
    done(result);
}

bool DialogForm::RefusedPanelIndex(int index) {
    if (index >= 0)
        return false;
    MsgBox(QStringLiteral("Invalid panel index."), vbCritical);
    Unload();
    return true;
}

void Refuse(const QString& message, QWidget* control) {
    MsgBox(message, vbExclamation);
    // A disabled box can't take the focus; the message alone then tells the user.
    if (control && control->isEnabled())
        control->setFocus();
}

void RefuseText(const QString& message, QLineEdit* box) {
    if (box)
        box->selectAll();
    Refuse(message, box);
}

QLabel* NamedLabel(const char* control, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(control));
    return label;
}

void ReportFailure(const QString& module, const QString& procedure, const std::exception& e) {
    LogError(module, procedure, ErrNum::kGeneral, QString::fromUtf8(e.what()), true);
}
