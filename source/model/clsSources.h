#pragma once
// The registry of every panel source of the repository, once each, so that all panels pasted
// from one workbook share one record and one update-pass state. Sources are found by ID and
// kept in the order they were added.

#include "model/clsPanelSource.h"
#include "platform/database/Database.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class clsSources {
public:
    // Starts an update pass: clears the pass flags of every source.
    void ClearFlags();
    // The source of that ID, or nullptr when the registry holds none.
    clsPanelSource* Source(int32_t ID) const;
    // The source at a position from 1 to Count; nullptr outside.
    clsPanelSource* SourceByIndex(int32_t Index) const;
    int32_t Count() const { return static_cast<int32_t>(pSources.size()); }
    // The ID of the source whose path or file in use is FullPath (letter case ignored), else
    // of a new source stored at once. 0 when the file can't be read or the new source can't
    // be stored; nothing is registered then.
    int32_t AddSource(const QString& FullPath);
    // Adds one source per DsbPanelSource row, with HasCustom set.
    [[nodiscard]] bool LoadAll(db::Database* DB);
    void Cleanup() {}

private:
    // Refuses, and reports under `procedure`, a key already registered.
    [[nodiscard]] bool Add(std::unique_ptr<clsPanelSource> source, const QString& procedure);

    std::vector<std::unique_ptr<clsPanelSource>> pSources;  // in the order added
    QHash<int32_t, clsPanelSource*> pByID;
};
