#pragma once
// The main window: the dashboard area where panels live.

#include <QMainWindow>

class QMdiArea;

class frmWorkspace : public QMainWindow {
    Q_OBJECT
public:
    explicit frmWorkspace(QWidget* parent = nullptr);

    QMdiArea* mdiArea() const { return mdiArea_; }

private:
    QMdiArea* mdiArea_;
};
