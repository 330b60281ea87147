#pragma once
// "Range Location": the rule by which a panel's range is found again in a newer version of its
// workbook (the same address, an offset from the last used cell, or an anchor cell found by its
// value), kept in the panel record until the dashboard's next save. For the anchor rule the
// visible values of the range are offered as anchors. The caller sets Index (and IsNew, which
// is not read) and calls Show.

#include "windows/DialogForm.h"

#include <QStringList>

#include <cstdint>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QRadioButton;
class clsWorkspacePanel;

class frmRangeRelative : public DialogForm {
    Q_OBJECT
public:
    explicit frmRangeRelative(QWidget* parent = nullptr);

    int16_t Index = 0;  // the panel's position in the current dashboard's list
    bool IsNew = false;

    // Search the anchor in any row of its column, or in any column of its row, as the anchor
    // address says; the column unless exactly the row is fixed.
    void CheckFix();
    void Form_Activate() override;

    // A candidate's position within the range: column offset and row offset, both from 1.
    static int32_t PackPosition(int32_t column, int32_t row);
    static void UnpackPosition(int32_t packed, int32_t& column, int32_t& row);

private:
    void cmbRelativeTo_Load();
    void SetRelativeTo(const QString& code);
    QString GetRelativeTo() const;
    void cmbRelativeTo_Click();
    void ShowAnchor();
    [[nodiscard]] bool PrepAnchorChoice();
    void cmbAnchor_Click();
    void ClearFixed();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

    QStringList ChoiceTexts_;
    QString Bottom_;
    QString AnchorAddress_;
    QString AnchorContent_;
    QString SourceFile_;
    bool ColFixed_ = false;
    bool RowFixed_ = false;
    bool FirstActivate_ = true;
    clsWorkspacePanel* Panel_ = nullptr;
    int32_t RowBase_ = 0;
    int32_t ColBase_ = 0;

    QComboBox* cmbRelativeTo_;
    QGroupBox* fraAnchor_;
    QComboBox* cmbAnchor_;
    QButtonGroup* optFixedGroup_;
    QRadioButton* optFixed_[2];
};
