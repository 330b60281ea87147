#pragma once
// Adds one alternate path: the base path is one of the folders the repository's sources use,
// the alternate is typed.

#include <QDialog>

class QComboBox;
class QLineEdit;

class frmAddAltPath : public QDialog {
    Q_OBJECT
public:
    explicit frmAddAltPath(QWidget* parent = nullptr);

    // Loads and runs the dialog modally; true when a pair was stored.
    [[nodiscard]] bool Show();
    void Form_Load();
    void cmdOK_Click();
    [[nodiscard]] bool ValidateInput();
    [[nodiscard]] bool SaveAltPaths();

    QComboBox* cmbBase() const { return cmbBase_; }
    QLineEdit* txtAlt() const { return txtAlt_; }
    [[nodiscard]] bool Saved() const { return saved_; }

private:
    void cmbBase_Load();

    QComboBox* cmbBase_;
    QLineEdit* txtAlt_;
    bool saved_ = false;
};
