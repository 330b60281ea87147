#pragma once
// Choosing one stored dashboard: the one to open, or the target of a panel copy or move.
// The caller sets Operation, calls Show and reads WorkspaceID (-1 when nothing was chosen).

#include <QDialog>

#include <cstdint>

class QComboBox;
class QLabel;

class frmOpenWorkspace : public QDialog {
    Q_OBJECT
public:
    explicit frmOpenWorkspace(QWidget* parent = nullptr);

    QString Operation;         // "" to open; "Copy" or "Move" to choose a target
    int32_t WorkspaceID = -1;  // the chosen dashboard; -1 when none

    // Loads, activates and runs the dialog modally; returns once it has unloaded itself.
    void Show();
    void Form_Load();
    void Form_Activate();

private:
    void cmbSource_Load();
    [[nodiscard]] bool ValidateInput();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    QComboBox* cmbSource_;
    QLabel* lblSource_;
    bool unloaded_ = false;
};
