#pragma once
// Export of chosen dashboards into a shared dashboard file (.pvds): a copy of the repository
// taken with the database's online backup, pruned to those dashboards, their panels and the
// sources they use. The alternate paths travel whole.

#include <QDialog>

#include <cstdint>

class QListWidget;

class frmExport : public QDialog {
    Q_OBJECT
public:
    explicit frmExport(QWidget* parent = nullptr);

    // Loads, activates and runs the dialog modally; returns once it has unloaded itself.
    void Show();
    void Form_Load();
    void Form_Activate();
    void cmdOK_Click();
    void cmdAltPath_Click();

    QListWidget* list() const { return lstWorkspaces_; }
    [[nodiscard]] bool Unloaded() const { return unloaded_; }

private:
    void lstWorkspaces_Load();
    QString GetSelectedIDs() const;
    QString GetExportFile();
    [[nodiscard]] bool ValidateSelection();
    [[nodiscard]] bool ExportDashboard();
    void Unload();

    QListWidget* lstWorkspaces_ = nullptr;
    QString ExportFile;
    bool unloaded_ = false;
};
