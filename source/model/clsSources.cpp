#include "model/clsSources.h"

#include "services/modMain.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsSQL.h"

#include <QFileInfo>

namespace {

const QString kModule = QStringLiteral("clsSources");

// The folder of a path with its separator, and the file name with its extension. A path
// written with "/" splits only there: a backslash is an ordinary character of a name here.
void SplitFolderAndName(const QString& path, QString& folder, QString& name) {
    const qsizetype cut = path.lastIndexOf(GetPathSeparator(path));
    folder = path.left(cut + 1);
    name = path.mid(cut + 1);
}

}  // namespace

void clsSources::ClearFlags() {
    for (const auto& source : pSources)
        source->ClearFlags();
}

clsPanelSource* clsSources::Source(int32_t ID) const { return pByID.value(ID, nullptr); }

clsPanelSource* clsSources::SourceByIndex(int32_t Index) const {
    if (Index < 1 || Index > Count())
        return nullptr;
    return pSources[static_cast<size_t>(Index - 1)].get();
}

bool clsSources::Add(std::unique_ptr<clsPanelSource> source, const QString& procedure) {
    if (pByID.contains(source->ID)) {
        LogError(kModule, procedure, 457,
                 QStringLiteral("This key is already associated with an element of this "
                                "collection: ") +
                     QString::number(source->ID),
                 true);
        return false;
    }
    pByID.insert(source->ID, source.get());
    pSources.push_back(std::move(source));
    return true;
}

int32_t clsSources::AddSource(const QString& FullPath) {
    for (const auto& source : pSources) {
        if (FullPath.compare(source->DestFolder + source->NewestFile, Qt::CaseInsensitive) == 0 ||
            FullPath.compare(source->FullPath, Qt::CaseInsensitive) == 0)
            return source->ID;
    }

    if (!FileExists(FullPath)) {
        // The caller tells the user that the workbook could not be registered.
        LogError(kModule, QStringLiteral("AddSource"), ErrNum::kFileNotFound,
                 QStringLiteral("File not found: ") + FullPath, false);
        return 0;
    }
    auto source = std::make_unique<clsPanelSource>();
    source->FullPath = FullPath;
    QString folder, name;
    SplitFolderAndName(FullPath, folder, name);
    source->DestFolder = folder.isEmpty() ? GetPathSeparator(FullPath) : folder;
    source->NewestFile = name;
    source->Mask = name;
    source->CheckEvery = 1000;
    source->LastChecked = QDateTime::currentDateTime();
    source->UpdateType = QStringLiteral("default");
    source->LastUpdated = QFileInfo(FullPath).lastModified();

    // An unstored source has no key to be found again by, so it is not registered.
    if (!source->SaveToDB(gDB.get()))
        return 0;
    const int32_t id = source->ID;
    return Add(std::move(source), QStringLiteral("AddSource")) ? id : 0;
}

bool clsSources::LoadAll(db::Database* DB) {
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs, QStringLiteral("SELECT * FROM DsbPanelSource"), {}, true,
                           QStringLiteral("clsPanelSource"), QStringLiteral("LoadFromDB")))
        return false;
    for (; !rs->EOF_(); rs->MoveNext()) {
        auto source = std::make_unique<clsPanelSource>();
        if (!source->LoadFromRecSet(*rs))
            return false;  // reported by the record
        source->chkHasCustom(source->ID, DB);
        if (!Add(std::move(source), QStringLiteral("LoadAll")))
            return false;
    }
    return true;
}
