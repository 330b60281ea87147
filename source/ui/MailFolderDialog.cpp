#include "ui/MailFolderDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kPickableRole = Qt::UserRole + 1;
}  // namespace

MailFolderDialog::MailFolderDialog(const mail::Folder& tree, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMailFolder"));
    setWindowTitle(QStringLiteral("Select Folder"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Select a folder:"), this);
    label->setObjectName(QStringLiteral("lblFolders"));
    layout->addWidget(label);

    tvwFolders_ = new QTreeWidget(this);
    tvwFolders_->setObjectName(QStringLiteral("tvwFolders"));
    tvwFolders_->setHeaderHidden(true);
    tvwFolders_->setColumnCount(1);
    label->setBuddy(tvwFolders_);
    layout->addWidget(tvwFolders_);
    AddItems(nullptr, tree);
    tvwFolders_->expandToDepth(0);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons_->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(buttons_);

    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tvwFolders_, &QTreeWidget::currentItemChanged, this, [this] { UpdateOK(); });
    connect(tvwFolders_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item && item->data(0, kPickableRole).toBool())
            accept();
    });
    if (tvwFolders_->topLevelItemCount() > 0)
        tvwFolders_->setCurrentItem(tvwFolders_->topLevelItem(0));
    UpdateOK();
    resize(360, 420);
}

void MailFolderDialog::AddItems(QTreeWidgetItem* parent, const mail::Folder& folder) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvwFolders_);
    item->setText(0, folder.name);
    item->setData(0, kPathRole, folder.path);
    item->setData(0, kPickableRole, folder.IsMaildir());
    if (!folder.IsMaildir()) {
        QFont font = item->font(0);
        font.setItalic(true);
        item->setFont(0, font);
    }
    for (const auto& child : folder.children)
        AddItems(item, child);
}

void MailFolderDialog::UpdateOK() {
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(!FolderValue().isEmpty());
}

QString MailFolderDialog::FolderValue() const {
    const QTreeWidgetItem* item = tvwFolders_->currentItem();
    if (!item || !item->data(0, kPickableRole).toBool())
        return QString();
    return item->data(0, kPathRole).toString() + QLatin1Char('`') + item->text(0);
}
