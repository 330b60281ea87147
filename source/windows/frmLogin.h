#pragma once
// Choosing the repository (the "project file") the program works on. Opened modeless from
// the main window with CurrMode "switch": OK opens the chosen file, remembers it in the INI
// file, closes the old repository and rebuilds the main window on the new one. Until the new
// file has opened and the old dashboard has been let go, the old repository stays in use.

#include "windows/DialogForm.h"

class QLabel;
class QLineEdit;
class QPushButton;

class frmLogin : public DialogForm {
    Q_OBJECT
public:
    explicit frmLogin(QWidget* parent = nullptr);

    QString CurrMode;  // "switch"

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void EnableButtons();
    void cmdBrowse_Click();
    [[nodiscard]] bool ValidateInput();
    void cmdOK_Click();
    [[nodiscard]] bool SwitchTo(const QString& path);
    void cmdCancel_Click();
    void cmdHelp_Click();

    QLabel* imgBackground_;
    QLineEdit* txtRepository_;
    QPushButton* cmdOK_;
};
