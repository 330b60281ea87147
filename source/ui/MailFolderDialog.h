#pragma once
// The mail folder picker: the store's folder tree, the Inbox at its top. Only Maildir folders
// can be chosen; levels that merely hold folders can be opened but not picked.

#include "platform/mail/MailStore.h"

#include <QDialog>

class QDialogButtonBox;
class QTreeWidget;
class QTreeWidgetItem;

class MailFolderDialog : public QDialog {
public:
    explicit MailFolderDialog(const mail::Folder& tree, QWidget* parent = nullptr);
    // The chosen folder's stored value ("<path>`<name>"), "" when none is selected.
    QString FolderValue() const;

private:
    void AddItems(QTreeWidgetItem* parent, const mail::Folder& folder);
    void UpdateOK();

    QTreeWidget* tvwFolders_;
    QDialogButtonBox* buttons_;
};
