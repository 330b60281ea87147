#pragma once
// The start-up tip for a user without a saved dashboard: how a dashboard is made, and the way
// to the learning guide beside the program.

#include <QDialog>

class QPushButton;

// The learning guide beside the program: <program folder>/<program name>_Learning_Guide.pdf.
QString LearningGuidePath();

class frmTip : public QDialog {
    Q_OBJECT
public:
    explicit frmTip(QWidget* parent = nullptr);

private:
    void cmdGuide_Click();
    void cmdHelp_Click();
    void cmdClose_Click();

    QString GuidePath_;
};
