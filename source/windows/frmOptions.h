#pragma once
// The four program options: the dashboard's background colour, the time stamp and the
// alignment of panel titles, and the refresh frequency. OK sets the option globals and writes
// them to the INI file; Cancel drops everything, a colour picked meanwhile included.

#include "windows/DialogForm.h"

#include <QColor>

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;

class frmOptions : public DialogForm {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);

    void cmbCaptionAlign_Load();
    void Form_Activate() override;
    QColor SwatchColor() const { return swatch_; }

private:
    void SetSwatch(const QColor& color);
    [[nodiscard]] bool ValidateInput();
    void cmdWorkspaceColor_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    QFrame* shWorkspaceColor_;
    QLineEdit* txtFrequency_;
    QCheckBox* chkDateTimeStamp_;
    QComboBox* cmbCaptionAlign_;
    QColor swatch_;
};
