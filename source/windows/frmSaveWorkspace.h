#pragma once
// Asking for a dashboard name for Save As and Rename. A blank name and a name a stored
// dashboard already has are refused. The caller sets Mode, calls Show and reads WorkspaceName
// ("" when nothing was accepted).

#include <QDialog>

class QLabel;
class QLineEdit;

class frmSaveWorkspace : public QDialog {
    Q_OBJECT
public:
    explicit frmSaveWorkspace(QWidget* parent = nullptr);

    QString Mode;           // "SaveAs" or "Rename"
    QString WorkspaceName;  // the accepted name; "" when cancelled

    void Show();
    void Form_Load();

private:
    [[nodiscard]] bool ExistWorkspace(const QString& Name);
    [[nodiscard]] bool ValidateInput();
    void RefuseName(const QString& message);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    QLineEdit* txtName_;
    QLabel* lblTitle_;
    QLabel* lblSubtitle_;
};
