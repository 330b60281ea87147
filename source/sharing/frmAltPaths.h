#pragma once
// The alternate paths of the open repository: a grid of (base path, alternate path) pairs
// with Add and Delete. The pairs travel inside every shared file the repository exports, so
// an importing machine can find the exporting machine's folders elsewhere.

#include <QDialog>

class QTableWidget;

class frmAltPaths : public QDialog {
    Q_OBJECT
public:
    explicit frmAltPaths(QWidget* parent = nullptr);

    // Activates and runs the dialog modally.
    void Show();
    void Form_Activate();
    void FillGrid();
    void SelectGridRow();
    void cmdAdd_Click();
    void cmdDelete_Click();

    QTableWidget* grid() const { return grdAltPaths_; }

private:
    void cmdHelp_Click();

    QTableWidget* grdAltPaths_;
};
