// The update pass of a panel source: fetching newer versions by the source's update type and
// taking the newest file of the destination folder into use.

#include "model/clsPanelSource.h"

#include "model/clsWorkspacePanel.h"
#include "platform/workbook/Workbook.h"
#include "platform/workbook/ZipArchive.h"
#include "services/App.h"
#include "services/StatusText.h"
#include "services/UserPrompts.h"
#include "services/modUtilsExcel.h"
#include "services/modUtilsFile.h"
#include "services/modUtilsFolder.h"
#include "services/modUtilsLog.h"
#include "services/modUtilsMisc.h"
#include "platform/workbook/Waiting.h"
#include "services/modUtilsOutlook.h"
#include "services/modUtilsSQL.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <exception>

namespace {

const QString kModule = QStringLiteral("clsPanelSource");
// NewestMatch's answer when the folder could not be searched.
const QString kSearchFailed = QStringLiteral("none");

// A folder never chosen is asked for like a vanished one.
bool FolderThere(const QString& folder) { return IsFolderChosen(folder) && FolderExists(folder); }

bool NoMatch(const QString& found) { return found.isEmpty() || found == kSearchFailed; }

// The file name of a path with its extension; a name without one gets no trailing dot,
// which would name another file here.
QString NameWithExtension(const QString& name, const QString& extension) {
    return extension.isEmpty() ? name : name + QLatin1Char('.') + extension;
}

void Split(const QString& path, QString& name, QString& extension) {
    name.clear();
    extension.clear();
    SplitPath(path, nullptr, &name, &extension);
}

QString Describe(const std::exception& e) { return QString::fromUtf8(e.what()); }

void LogNotTaken(const QString& procedure, const QString& path, const QString& why) {
    LogEvent(kModule, procedure,
             path + QStringLiteral(" is not taken as a newer version yet: ") + why +
                 QStringLiteral(". The next update pass looks again."),
             false);
}

}  // namespace

QString VersionNotWhole(const QString& path) {
    const std::optional<FileState> before = StateOfFile(path);
    if (!before)
        return QStringLiteral("it is not there");
    // While the panels share their reads, the read they are painted from tells a whole file:
    // the file is read once for all of them, this look included. A file that does not read is
    // looked at below, so that a whole one that is damaged otherwise is reported when painted.
    if (xl::SharedReads::Active()) {
        try {
            xl::Application reader;
            (void)reader.Load(path);
            if (StateOfFile(path) == before)
                return QString();
        } catch (const std::exception&) {
        }
    }
    const QString why = xl::ZipFileNotWhole(path);
    if (!why.isEmpty())
        return why;
    if (StateOfFile(path) != before)
        return QStringLiteral("it changed while it was looked at (it is still being written)");
    return QString();
}

QString clsPanelSource::AskFolderFor(const QString& prompt) const {
    const QString chosen = BrowseFolder(nullptr, prompt, SourceFolder);
    return chosen.isEmpty() ? QString() : App::WithSeparator(chosen);
}

bool clsPanelSource::GetLatest(db::Database* DB, bool IsTimer) {
    try {
        const bool due = QDateTime::currentDateTime() >
                         LastChecked.addSecs(static_cast<qint64>(CheckEvery) * 60);
        // Whatever the fetch brought (nothing, or a failure it reported), the newest file in
        // the folder is what the panels follow.
        if ((due || !IsTimer) && !IsUpdated)
            (void)FetchSource(DB);
        if (!IsChecked)
            return chkNewestFile(DB);
        return true;
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("GetLatest"), ErrNum::kGeneral, Describe(e), true);
    } catch (...) {
        LogError(kModule, QStringLiteral("GetLatest"), ErrNum::kGeneral,
                 QStringLiteral("Unknown error"), true);
    }
    return false;
}

bool clsPanelSource::FetchSource(db::Database* DB) {
    QDateTime Dt = NoDate();
    QString fetched;
    // A chosen folder is stored at once, so it is not asked for again on the next pass, even
    // when a later prompt of the same request is cancelled. One that can't be stored (reported)
    // is not used either: the record must name the folders its row names, or the newest file's
    // name stored later would be paired with the folder of before.
    const QString storedSource = SourceFolder;
    const QString storedDest = DestFolder;
    auto store = [&] {
        if (!SaveToDB(DB)) {
            SourceFolder = storedSource;
            DestFolder = storedDest;
        }
        QCoreApplication::processEvents();
    };
    const QString mask = QStringLiteral("[") + Mask + QStringLiteral("]");

    if (UpdateType == QStringLiteral("folder")) {
        bool chosen = false;
        if (!FolderThere(SourceFolder)) {
            const QString folder = AskFolderFor(
                QStringLiteral("Select source folder to retrieve files named ") + mask +
                QStringLiteral(" from"));
            if (!folder.isEmpty()) {
                SourceFolder = folder;
                chosen = true;
            }
        }
        if (!FolderThere(DestFolder)) {
            const QString folder = AskFolderFor(
                QStringLiteral("Select destination folder to place file named ") + mask +
                QStringLiteral(" to"));
            if (!folder.isEmpty()) {
                DestFolder = folder;
                chosen = true;
            }
        }
        if (chosen)
            store();
        if (FolderThere(SourceFolder) && FolderThere(DestFolder)) {
            ShowStatus(QStringLiteral("Looking for a newer %1 in %2...").arg(Mask, SourceFolder));
            fetched = chkSrcFolder(Dt);
        }
    } else if (UpdateType == QStringLiteral("inbox") || UpdateType == QStringLiteral("refresh")) {
        const bool inbox = UpdateType == QStringLiteral("inbox");
        if (!FolderThere(DestFolder)) {
            const QString folder = AskFolderFor(
                inbox ? QStringLiteral("Select destination folder to save attachment to")
                      : QStringLiteral("Select folder to check for files named ") + mask);
            if (!folder.isEmpty()) {
                DestFolder = folder;
                store();
            }
        }
        if (FolderThere(DestFolder)) {
            ShowStatus(inbox ? QStringLiteral("Looking for a newer %1 in the mail...").arg(Mask)
                             : QStringLiteral("Recalculating %1 in LibreOffice...").arg(NewestFile));
            fetched = inbox ? chkOutlook(Dt) : chkRefresh(Dt);
        }
    }

    if (!fetched.isEmpty()) {
        LastUpdated = Dt;
        // The file is fetched either way; a time that could not be stored (reported) only
        // makes the next start fetch once more.
        (void)UpdateLastUpdated(DB, Dt);
    }
    IsUpdated = true;
    return true;
}

QString clsPanelSource::chkSrcFolder(QDateTime& Dt) {
    try {
        // Whatever the mask names, only a workbook the panels can show is ever copied: the mask
        // may have come with someone else's dashboard and aim at any file of the folder.
        const QString src = NewestWorkbookMatch(SourceFolder + Mask);
        if (NoMatch(src))
            return QString();
        Dt = SourceFileTime(src);
        QString name, extension;
        Split(src, name, extension);
        if (!(Dt > LastUpdated))
            return QString();

        // Only a mask that names a series of files keeps earlier versions beside the new one;
        // a plain name (or one that only starts with a wildcard) always replaces its file.
        const bool series = Mask.indexOf(QLatin1Char('?'), 1) >= 0 ||
                            Mask.indexOf(QLatin1Char('*'), 1) >= 0;
        if (series && QFile::exists(DestFolder + NameWithExtension(name, extension)))
            name += QLatin1Char('_') +
                    QDateTime::currentDateTime().toString(QStringLiteral("yyMMddhhmmss"));
        const QString copyName = NameWithExtension(name, extension);
        const QString target = DestFolder + copyName;
        // A file caught half-way through its arrival is not a version: the copy is only kept
        // when it is whole, and nothing is recorded, so the next pass takes the whole file
        // even when its copying tool gives it back its original, older time at the end.
        const auto copy = [&] {
            return File_CopyOutcome(
                src, target, [](const QString& copied) { return xl::ZipFileNotWhole(copied); });
        };
        const auto notWhole = [&](const CopyOutcome& copied) {
            if (!copied.sourceChanged && copied.refused.isEmpty())
                return false;
            LogNotTaken(QStringLiteral("chkSrcFolder"), src,
                        copied.sourceChanged ? QStringLiteral("it is still being written")
                                             : copied.refused);
            return true;
        };
        CopyOutcome copied = copy();
        if (copied.copied)
            return copyName;
        if (notWhole(copied))
            return QString();

        // A full disk or a folder that refuses the copy is named; otherwise the likely cause,
        // the file held open elsewhere.
        const QString cause =
            copied.error ? WriteFailureText(copied.error, target)
                         : QStringLiteral("If you have the file open in Excel, please close it.");
        if (!ConfirmAction(QStringLiteral("Unable to copy ") + src + QStringLiteral(" to ") +
                           DestFolder + QStringLiteral(".\r\n") + cause + QStringLiteral("\r\n") +
                           QStringLiteral("Then click Yes to retry copying the file.")))
            return copyName;  // declined: this version counts as fetched and is not offered again
        copied = copy();
        if (copied.copied)
            return copyName;
        if (notWhole(copied))
            return QString();
        MsgBox(QStringLiteral("Unable to copy ") + src + QStringLiteral(" to ") + DestFolder +
                   QLatin1Char('.') +
                   (copied.error ? QStringLiteral("\r\n") + WriteFailureText(copied.error, target)
                                 : QString()),
               vbExclamation, App::Title());
        LogEvent(kModule, QStringLiteral("chkSrcFolder"),
                 QStringLiteral("Error copying ") + src + QStringLiteral(" to ") + DestFolder,
                 false);
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("chkSrcFolder"), ErrNum::kGeneral, Describe(e), true);
    }
    return QString();
}

QString clsPanelSource::chkOutlook(QDateTime& Dt) {
    try {
        const QString saved = NewestAttach(OLSubject, OLAttach, OLFolder, LastUpdated, DestFolder,
                                           Dt, SavableAttachments::Workbooks);
        if (saved.isEmpty())
            return QString();
        QString name, extension;
        Split(saved, name, extension);
        return NameWithExtension(name, extension);
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("chkOutlook"), ErrNum::kGeneral, Describe(e), true);
    }
    return QString();
}

QString clsPanelSource::chkExtern(QDateTime& /*Dt*/) { return QString(); }

bool clsPanelSource::chkNewestFile(db::Database* DB) {
    try {
        if (!FolderThere(DestFolder)) {
            const QString folder = AskFolderFor(
                QStringLiteral("Select folder to check for files named [") + Mask +
                QStringLiteral("]"));
            if (folder.isEmpty()) {
                NewestFile.clear();
                return false;
            }
            // A folder that can't be stored (reported) counts as one not chosen, for the reason
            // FetchSource gives.
            const QString storedDest = DestFolder;
            DestFolder = folder;
            const bool stored = SaveToDB(DB);
            QCoreApplication::processEvents();
            if (!stored) {
                DestFolder = storedDest;
                NewestFile.clear();
                return false;
            }
        }

        const QString newest = NewestMatch(DestFolder + Mask);
        if (NoMatch(newest)) {
            NewestFile.clear();
            return false;
        }
        QDateTime ft = SourceFileTime(newest);
        QString name, extension;
        Split(newest, name, extension);
        // A recalculated copy of that very file, newer than it, is its newest version.
        const QString copy = RecalculatedCopy(NameWithExtension(name, extension));
        if (!copy.isEmpty() && QFileInfo(copy).isFile())
            ft = std::max(ft, SourceFileTime(copy));

        if (FileExists(DestFolder + NewestFile) && !(ft > LastChecked) && !(ft > NewestFileTime())) {
            IsChecked = true;
            return false;
        }
        // A newer file that is not whole yet is left for a later pass; the version in use stays,
        // with its pictures.
        if (const QString why = VersionNotWhole(newest); !why.isEmpty()) {
            LogNotTaken(QStringLiteral("chkNewestFile"), newest, why);
            IsChecked = true;
            return false;
        }
        NewestFile = NameWithExtension(name, extension);
        // The newer file is followed even when its time could not be stored (reported): the
        // next check finds it newer again and only repeats the work.
        (void)UpdateLastChecked(DB, ft);
        AdjustRanges(DB, WorkbookInUse());
        ClearBMPs(DB);
        IsChecked = true;
        return true;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("modPanelSources"), QStringLiteral("chkNewestFile"),
                 ErrNum::kGeneral, Describe(e), true);
    }
    return false;
}

// The pass's record of what it has seen is written again by a later pass: a repository that
// can't be written is logged here, and told when the user saves.
bool clsPanelSource::UpdateLastChecked(db::Database* DB, const QDateTime& Dt) {
    const QuietWriteRefusals quiet;
    if (!SQL_Execute(DB,
                     QStringLiteral("UPDATE DsbPanelSource SET LastChecked = ?, NewestFile = ? "
                                    "WHERE ID = ?"),
                     {Dt, NewestFile, ID}, true, kModule, QStringLiteral("UpdateLastChecked")))
        return false;
    LastChecked = Dt;
    return true;
}

bool clsPanelSource::UpdateLastUpdated(db::Database* DB, const QDateTime& Dt) {
    const QuietWriteRefusals quiet;
    if (!SQL_Execute(DB, QStringLiteral("UPDATE DsbPanelSource SET LastUpdated = ? WHERE ID = ?"),
                     {Dt, ID}, true, kModule, QStringLiteral("UpdateLastUpdated")))
        return false;
    LastUpdated = Dt;
    return true;
}

void clsPanelSource::AdjustRanges(db::Database* DB, const QString& Path) {
    // A relocation that the repository refuses is logged; painting locates the range again
    // from the stored row.
    const QuietWriteRefusals quiet;
    HiddenInstance hidden;
    ExcelApp& XL = hidden.XL;
    try {
        std::unique_ptr<db::Recordset> rs;
        if (!SQL_OpenRecordset(DB, rs,
                               QStringLiteral("SELECT * FROM DsbSavedPanel WHERE SourceID = ? AND "
                                              "ContentType = 'S' COLLATE BINARY"),
                               {ID}, true, QString(), QString()))
            return;
        if (rs->EOF_() || !hidden.Start())
            return;
        XL->DisplayAlerts = false;
        // Only ranges that follow the sheet's end or an anchor move; "top" ranges and rows
        // without a usable rule keep their stored texts, which relocating would blank.
        auto moves = [&rs] {
            const QString rule = rs->Text(QStringLiteral("RelativeTo"));
            return rule == QStringLiteral("bottom") || rule == QStringLiteral("contents");
        };
        QStringList sheets;
        for (; !rs->EOF_(); rs->MoveNext())
            if (moves())
                sheets << rs->Text(QStringLiteral("SheetName"));
        rs->MoveFirst();
        xl::Workbook* wb = OpenWithSheets(XL, Path, sheets);
        for (; !rs->EOF_(); rs->MoveNext()) {
            if (!moves())
                continue;
            // A pass's window goes on painting between two relocations in a large sheet.
            xl::WhileWaiting();
            const QString sheet = rs->Text(QStringLiteral("SheetName"));
            if (!Excel_HasSheet(wb, sheet)) {
                LogEvent(kModule, QStringLiteral("AdjustRanges"),
                         sheet + QStringLiteral(" not found in ") + wb->Name(), false);
                continue;
            }
            clsWorkspacePanel panel;
            if (!panel.LoadFromRecSet(DB, *rs))
                continue;
            // One panel whose range can't be located must not cost the others theirs: its row
            // stays as it was.
            try {
                panel.AdjustAll(wb->Sheets().Item(sheet));
            } catch (const std::exception& e) {
                LogEvent(kModule, QStringLiteral("AdjustRanges"),
                         QStringLiteral("Panel ") + QString::number(panel.ID) +
                             QStringLiteral(" could not be relocated in ") + wb->Name() +
                             QStringLiteral(": ") + Describe(e),
                         false);
                continue;
            }
            // A relocation that can't be stored (reported) leaves the row as it was, like one
            // that can't be made; the others are stored all the same.
            if (!panel.SaveToDB(DB, static_cast<int32_t>(rs->Number(QStringLiteral("WorkspaceID")))))
                continue;
        }
        hidden.Close();
    } catch (const std::exception& e) {
        LogError(kModule, QStringLiteral("AdjustRanges"), ErrNum::kGeneral, Describe(e), true);
        hidden.Close();
    }
}

void clsPanelSource::ClearBMPs(db::Database* DB) {
    // A picture that can't be deleted is passed over: the panel then shows its old picture
    // until the next newer version, which is better than stopping the pass.
    std::unique_ptr<db::Recordset> rs;
    if (!SQL_OpenRecordset(DB, rs, QStringLiteral("SELECT ID FROM DsbSavedPanel WHERE SourceID = ?"),
                           {ID}, false, kModule, QStringLiteral("ClearBMPs")))
        return;
    for (; !rs->EOF_(); rs->MoveNext()) {
        const QString path = PanelPicturePath(static_cast<int32_t>(rs->Number(QStringLiteral("ID"))));
        if (!path.isEmpty() && QFile::exists(path))
            QFile::remove(path);
    }
}
