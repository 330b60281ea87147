#pragma once
// The title of one panel of the current dashboard, kept in its record; the dashboard's next
// save stores it. The caller sets Index (and IsNew, which is not read) and calls Show.

#include "windows/DialogForm.h"

#include <cstdint>

class QLineEdit;

class frmCaption : public DialogForm {
    Q_OBJECT
public:
    explicit frmCaption(QWidget* parent = nullptr);

    int16_t Index = 0;  // the panel's position in the current dashboard's list
    bool IsNew = false;

    void Form_Activate() override;

private:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    QLineEdit* txtCaption_;
};
