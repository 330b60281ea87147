#pragma once
// Import of dashboards from a shared dashboard file: the chosen dashboards, their panels and
// the sources those use, with new IDs, folder paths rewritten through the shared file's
// alternate paths, and sources merged with alike repository sources. The user sees every
// folder the new sources would use and agrees before anything is written; the import is then
// one transaction: stored whole or not at all.

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
    // Brings the sources of the chosen dashboards into the connection's scratch table, with
    // their paths rewritten by the shared file's alternate paths; nothing of the repository
    // changes.
    [[nodiscard]] bool ImportSources(const QVariantList& ids, const QString& inList);
    // Shows every place the new sources would read or write and asks; true when agreed, or when
    // there is none.
    [[nodiscard]] bool AgreeToPlaces();
    void DropStagedSources();
    [[nodiscard]] bool ImportWorkspaces(const QVariantList& ids, const QString& inList);
    [[nodiscard]] bool ImportPanels(int32_t OldWorkspaceID, int32_t NewWorkspaceID);
    void Form_Unload();
    void Unload();

    QListWidget* lstWorkspaces_ = nullptr;
    std::unique_ptr<db::Database> dbImport;
    bool unloaded_ = false;
    bool declined_ = false;  // the last OK ended at the user's No to the places shown
};

// Drops a scratch table that an earlier version's import left in the repository; true when
// none is there.
[[nodiscard]] bool DelTempSources();
