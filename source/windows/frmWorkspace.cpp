#include "windows/frmWorkspace.h"

#include "services/App.h"
#include "services/modMain.h"

#include <QMdiArea>

frmWorkspace::frmWorkspace(QWidget* parent) : QMainWindow(parent), mdiArea_(new QMdiArea(this)) {
    setObjectName(QStringLiteral("frmWorkspace"));
    setWindowTitle(App::Title());
    setAttribute(Qt::WA_DeleteOnClose);
    const QColor background(gDashboardColor & 0xFF, (gDashboardColor >> 8) & 0xFF,
                            (gDashboardColor >> 16) & 0xFF);
    mdiArea_->setBackground(background);
    setCentralWidget(mdiArea_);
    resize(1024, 720);
}
