#pragma once
// "File Updates": how newer versions of a panel's source workbook arrive. The settings belong
// to the panel's source, which every panel of that workbook shares, and OK writes the source
// row at once. The caller sets Index (and IsNew, which is not read) and calls Show.

#include "windows/DialogForm.h"

#include <cstdint>

class QComboBox;
class QGroupBox;
class QLineEdit;

class frmPanelProperties : public DialogForm {
    Q_OBJECT
public:
    explicit frmPanelProperties(QWidget* parent = nullptr);

    int16_t Index = 0;  // the panel's position in the current dashboard's list
    bool IsNew = false;

    void Form_Activate() override;

private:
    void cmbUpdateType_Load();
    void LoadSource();
    void cmbUpdateType_Click();
    void cmdSourceFolder_Click();
    void cmdOFolder_Click();
    [[nodiscard]] bool ValidateInput();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    int32_t SourceID_ = 0;
    bool FirstActivate_ = true;
    QString OLFolderValue_;

    QLineEdit* txtSource_;
    QComboBox* cmbUpdateType_;
    QGroupBox* fraFolder_;
    QLineEdit* txtSourceFolder_;
    QGroupBox* fraInbox_;
    QLineEdit* txtOFolder_;
    QLineEdit* txtOSender_;
    QLineEdit* txtOSubject_;
    QLineEdit* txtMask_;
    QLineEdit* txtFrequency_;
};
