#pragma once
// What the modal dialogs share: the caller sets the public fields and calls Show; the dialog
// fills its values on activation, validates on OK, stores its result and unloads itself. A
// dialog that refuses its arguments on activation unloads before it is ever shown.

#include <QDialog>

#include <exception>

class QLabel;
class QLineEdit;

// A failed validation step: its message with the exclamation icon, then the focus to the
// control concerned.
void Refuse(const QString& message, QWidget* control);
// The same for a text box whose whole text is selected, so typing replaces it.
void RefuseText(const QString& message, QLineEdit* box);

// A failure trapped by a dialog's procedure, logged and shown once.
void ReportFailure(const QString& module, const QString& procedure, const std::exception& e);

// A label named by its control name.
QLabel* NamedLabel(const char* control, const QString& text, QWidget* parent);

class DialogForm : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

    // Activates and runs the dialog modally; returns once it has unloaded itself.
    void Show();
    virtual void Form_Activate() {}
    [[nodiscard]] bool IsUnloaded() const { return unloaded_; }

protected:
    void Unload(int result = QDialog::Rejected);
    // OK of a dialog that has nothing to check.
    [[nodiscard]] static bool AlwaysValid() { return true; }
    // The panel dialogs refuse a negative panel index on activation: the message, then the
    // dialog unloads. True when the index was refused.
    [[nodiscard]] bool RefusedPanelIndex(int index);

private:
    bool unloaded_ = false;
};
