#pragma once
// The About box: the program's title and version, the system information tool and the
// end-user agreement beside the program.

#include <QDialog>

// The system information program of this desktop: the first of a short list found on the
// PATH; "" when none is installed.
QString FindSystemInfoTool();

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    void StartSysInfo();

private:
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void lblEULA_Click();
};
