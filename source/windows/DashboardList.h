#pragma once
// The stored dashboards as a drop-down list: text = name, item data = ID, most recently used
// first. Both the main window's list and the open dialog show them this way.

#include <QString>

#include <cstdint>
#include <optional>

class QComboBox;

// Refills `combo` (nothing selected afterwards, and no selection signal while filling). With
// `excludeID` that dashboard is left out. A failed query is reported with a box under the
// caller's names and leaves the list empty.
void FillDashboardList(QComboBox* combo, const QString& callerModule, const QString& callerProc,
                       std::optional<int32_t> excludeID = std::nullopt);
