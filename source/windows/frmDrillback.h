#pragma once
// Choosing the drill-back document source for a panel's source and sheet, from the document
// sources the repository holds. The caller sets SourceID and SheetName and calls Show; OK
// leaves the chosen document source's ID in SourceDocID.

#include "windows/DialogForm.h"

#include <cstdint>

class QComboBox;

class frmDrillback : public DialogForm {
    Q_OBJECT
public:
    explicit frmDrillback(QWidget* parent = nullptr);

    int32_t SourceID = 0;
    QString SheetName;
    int32_t SourceDocID = -1;  // the chosen document source; -1 when none

    void Form_Activate() override;

private:
    void cmbSourceDoc_Load();
    [[nodiscard]] bool ValidateInput();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    QComboBox* cmbSourceDoc_;
};
