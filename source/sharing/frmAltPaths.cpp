#include "sharing/frmAltPaths.h"

#include "services/UserPrompts.h"
#include "services/modMain.h"
#include "services/modUtilsHelp.h"
#include "services/modUtilsSQL.h"
#include "sharing/frmAddAltPath.h"
#include "ui/DialogButtons.h"
#include "services/Twips.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {
const QString kModule = QStringLiteral("frmAltPaths");
}

frmAltPaths::frmAltPaths(QWidget* parent) : QDialog(parent), grdAltPaths_(new QTableWidget(this)) {
    setObjectName(kModule);
    setWindowTitle(QStringLiteral("Alternate Paths"));
    auto* lblCaption = new QLabel(QStringLiteral("Alternate paths defined:"), this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    grdAltPaths_->setObjectName(QStringLiteral("grdAltPaths"));
    grdAltPaths_->setColumnCount(2);
    grdAltPaths_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdAltPaths_->setSelectionMode(QAbstractItemView::SingleSelection);
    grdAltPaths_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdAltPaths_->verticalHeader()->setVisible(false);
    grdAltPaths_->setMinimumSize(520, 220);
    connect(grdAltPaths_, &QTableWidget::currentCellChanged, this,
            [this](int, int, int, int) { SelectGridRow(); });
    QHBoxLayout* buttons = DialogButtonRow(
        this, {{"cmdAdd", QStringLiteral("Add"), [this] { cmdAdd_Click(); }},
               {"cmdDelete", QStringLiteral("Delete"), [this] { cmdDelete_Click(); }},
               {"cmdHelp", QStringLiteral("Help"), [this] { cmdHelp_Click(); }},
               {"cmdCancel", QStringLiteral("Close"), [this] { reject(); }}});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCaption);
    layout->addWidget(grdAltPaths_);
    layout->addLayout(buttons);
}

void frmAltPaths::Show() {
    Form_Activate();
    exec();
}

void frmAltPaths::Form_Activate() { FillGrid(); }

void frmAltPaths::FillGrid() {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(gDB.get(), rs,
                           QStringLiteral("SELECT * FROM DsbAltPaths ORDER BY BasePath"), {}, true,
                           kModule, QStringLiteral("FillGrid")))
        return;
    grdAltPaths_->clearContents();
    grdAltPaths_->setRowCount(rs->RecordCount());
    grdAltPaths_->setHorizontalHeaderLabels(
        {QStringLiteral("Base Path"), QStringLiteral("Alternate Path")});
    const int half = TwipsToPixelsX(std::nearbyint(PixelsToTwipsX(grdAltPaths_->width()) / 2.0 - 100));
    for (int column = 0; column < 2; ++column)
        grdAltPaths_->setColumnWidth(column, std::max(half, 40));
    for (int row = 0; !rs->EOF_(); rs->MoveNext(), ++row) {
        grdAltPaths_->setItem(row, 0, new QTableWidgetItem(rs->Text(QStringLiteral("BasePath"))));
        grdAltPaths_->setItem(row, 1, new QTableWidgetItem(rs->Text(QStringLiteral("AltPath"))));
    }
    if (grdAltPaths_->rowCount() > 0) {
        grdAltPaths_->setCurrentCell(0, 0);
        SelectGridRow();
    }
}

void frmAltPaths::SelectGridRow() {
    const int row = grdAltPaths_->currentRow();
    if (row < 0)
        return;
    grdAltPaths_->selectRow(row);
}

void frmAltPaths::cmdAdd_Click() {
    AskCustom(QStringLiteral("frmAddAltPath"), [this] {
        frmAddAltPath dialog(this);
        return QVariant(dialog.Show());
    });
    // Coming back from the add dialog activates this one again, which shows the new pair.
    Form_Activate();
}

void frmAltPaths::cmdDelete_Click() {
    const int row = grdAltPaths_->currentRow();
    if (row < 0 || grdAltPaths_->selectedItems().isEmpty())
        return;
    const auto cellText = [this, row](int column) {
        const QTableWidgetItem* item = grdAltPaths_->item(row, column);
        return item ? item->text() : QString();
    };
    // The grid is filled again either way: after a failed delete (reported) it still shows the pair.
    (void)SQL_Execute(gDB.get(),
                      QStringLiteral("DELETE FROM DsbAltPaths WHERE BasePath = ? AND AltPath = ?"),
                      {cellText(0), cellText(1)}, true, kModule, QStringLiteral("cmdDelete_Click"));
    FillGrid();
}

void frmAltPaths::cmdHelp_Click() { ShowHelp(this, kModule); }
