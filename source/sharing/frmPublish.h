#pragma once
// Choosing the workbook of the Templates folder that becomes a dashboard's template, or
// "<none>" to publish into a new empty workbook.

#include <QDialog>

class QListWidget;

class frmPublish : public QDialog {
    Q_OBJECT
public:
    explicit frmPublish(QWidget* parent = nullptr);

    // The chosen workbook's full path; "" for "<none>"; "cancel" when cancelled.
    QString TemplateFile;

    // Loads, activates and runs the dialog modally.
    void Show();
    void Form_Load();
    void Form_Activate();
    void cmdOK_Click();
    void cmdCancel_Click();
    // Escape and the close box cancel, as the Cancel button does.
    void reject() override;

    QListWidget* list() const { return lstTemplates_; }

private:
    void lstTemplates_Load();
    [[nodiscard]] bool ValidateSelection();

    QListWidget* lstTemplates_;
};
