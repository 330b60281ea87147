#pragma once
// Import of dashboards from a shared dashboard file: the chosen dashboards, their panels and
// the sources those use, with new IDs, folder paths rewritten through the shared file's
// alternate paths, and sources merged with alike repository sources. One import is one
// transaction: it is stored whole or not at all.

#include "platform/database/Database.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QListWidget;

class frmImport : public QDialog {
    Q_OBJECT
public:
    explicit frmImport(QWidget* parent = nullptr);
    ~frmImport() override;

    QString ImportFile;  // set by the caller before Show

    // Activates and runs the dialog modally; returns once it has unloaded itself.
    void Show();
    void Form_Activate();
    [[nodiscard]] bool lstWorkspaces_Load();
    void cmdOK_Click();
    [[nodiscard]] bool ImportDashboard();
    QString GetSelectedIDs() const;
    QString GetSelectedNames() const;

    QListWidget* list() const { return lstWorkspaces_; }
    [[nodiscard]] bool Unloaded() const { return unloaded_; }

private:
    [[nodiscard]] bool ValidateSelection();
    [[nodiscard]] bool CheckSharedTables();
    [[nodiscard]] bool ImportSources(const QVariantList& ids, const QString& inList);
    [[nodiscard]] bool ImportWorkspaces(const QVariantList& ids, const QString& inList);
    [[nodiscard]] bool ImportPanels(int32_t OldWorkspaceID, int32_t NewWorkspaceID);
    void Form_Unload();
    void Unload();

    QListWidget* lstWorkspaces_ = nullptr;
    std::unique_ptr<db::Database> dbImport;
    bool unloaded_ = false;
};

// Drops the import's scratch table from the repository; true when it is gone.
[[nodiscard]] bool DelTempSources();
