#include "windows/DashboardList.h"

#include "services/modMain.h"
#include "ui/modUtilsControls.h"
#include "services/modUtilsSQL.h"

#include <QComboBox>
#include <QSignalBlocker>


void FillDashboardList(QComboBox* combo, const QString& callerModule, const QString& callerProc,
                       std::optional<int32_t> excludeID) {
    if (!combo)
        return;
    // Filling must not open anything: a combo box selects its first item by itself, which the
    // windows would take for the user's choice.
    const QSignalBlocker blocker(combo);
    combo->clear();
    QString sql = QStringLiteral("SELECT * FROM DsbSavedWorkspace");
    QVariantList values;
    if (excludeID) {
        sql += QStringLiteral(" WHERE ID <> ?");
        values << *excludeID;
    }
    sql += QStringLiteral(" ORDER BY LastUpdated DESC");
    std::unique_ptr<db::Recordset> rs;
    if (SQL_OpenRecordset(gDB.get(), rs, sql, values, true, callerModule, callerProc)) {
        for (; !rs->EOF_(); rs->MoveNext()) {
            if (rs->IsNull(QStringLiteral("Name")))
                continue;
            Combo_AddItem(combo, rs->Text(QStringLiteral("Name")),
                          static_cast<int32_t>(rs->Number(QStringLiteral("ID"))));
        }
    }
    combo->setCurrentIndex(-1);
}
