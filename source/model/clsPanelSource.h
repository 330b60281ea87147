#pragma once
// One source workbook, shared by every panel that shows a range or chart of it, with where its
// newer versions arrive. Each record lives once, in the source registry.

#include "model/ModelDates.h"
#include "platform/database/Database.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

class clsPanelSource {
    friend class UpdatePassTest;

public:
    // Stored in DsbPanelSource (column names in the comments where they differ).
    int32_t ID = 0;  // below 1 while the source is not stored
    QString FullPath;
    QString Mask;
    QString DestFolder;  // ends with a separator once loaded
    QString NewestFile;  // file name of the version in use inside DestFolder
    QDateTime LastUpdated = NoDate();
    QDateTime LastChecked = NoDate();
    int32_t CheckEvery = 0;  // CheckEveryNMin, minutes
    QString UpdateType;      // "folder", "inbox", "refresh" or "default"
    QString SourceFolder;    // ends with a separator once loaded
    QString OLFolder;        // OutlookFolder
    QString OLSubject;       // OutlookSubject
    QString OLSender;        // OutlookSender
    QString OLAttach;        // OutlookAttachment
    QString Macro;           // MacroName
    QString CmdLine;
    QString AddedParams;

    // Working state of the record and of the update pass.
    bool HasCustom = false;  // a stored panel of this source is a custom panel
    QDateTime CustomDate = NoDate();
    bool IsUpdated = false;  // the fetch has run in this update pass
    bool IsChecked = false;  // the destination folder check reached a verdict in this pass

    void ClearFlags();
    // Time of the file in use: its modification time (its recalculated copy's while that is in
    // use, below), now when it is gone, 1 January 1900 when no file is in use.
    QDateTime NewestFileTime() const;
    // The user's workbook: DestFolder & NewestFile, or FullPath while no file is in use.
    QString WorkbookPath() const;
    // Where a "refresh" source keeps the recalculated copy of a workbook that another program
    // (the user's spreadsheet) has open and so can't be saved over: Recalculated/<ID>/<name>
    // beside the program.
    QString RecalculatedCopy(const QString& name) const;
    // The workbook the panels are drawn from: the recalculated copy of the file in use while it
    // is newer than the file itself, else WorkbookPath().
    QString WorkbookInUse() const;
    [[nodiscard]] bool LoadFromDB(int32_t SourceID, db::Database* DB);
    bool chkHasCustom(int32_t SourceID, db::Database* DB);
    [[nodiscard]] bool LoadFromRecSet(const db::Recordset& rs);
    [[nodiscard]] bool SaveToDB(db::Database* DB);
    [[nodiscard]] bool DelFromDB(db::Database* DB, int32_t SourceID);
    // The custom panels' files, with the extension of the source workbook (FullPath): the
    // prepared copy of the source, Templates/PVCopy<ID>.<ext>, and the template that keeps the
    // pasted sheets and charts, Templates/PVTmpl<ID>.<ext>.
    QString Prepped() const;
    QString CustomTemplate() const;
    void ClearSource();
    // One update request of the update pass: fetches a newer version at most once per pass
    // (on the timer only when the check interval has run out) and looks for a newer file in
    // DestFolder until a look reaches a verdict. True when this request applied a newer file,
    // or when an earlier request of the pass already reached the verdict.
    [[nodiscard]] bool GetLatest(db::Database* DB, bool IsTimer);
    // The fetch of one update type: the file name (with extension, without folder) of the
    // version fetched, "" when none; Dt receives that version's time.
    QString chkSrcFolder(QDateTime& Dt);
    QString chkOutlook(QDateTime& Dt);
    QString chkRefresh(QDateTime& Dt);
    QString chkExtern(QDateTime& Dt);
    [[nodiscard]] bool UpdateDB(db::Database* DB);

private:
    [[nodiscard]] bool InsertDB(db::Database* DB);
    QString CustomFile(const QString& kind) const;

    // Steps of the update pass.
    [[nodiscard]] bool FetchSource(db::Database* DB);
    [[nodiscard]] bool chkNewestFile(db::Database* DB);
    [[nodiscard]] bool UpdateLastChecked(db::Database* DB, const QDateTime& Dt);
    [[nodiscard]] bool UpdateLastUpdated(db::Database* DB, const QDateTime& Dt);
    // Locates the stored ranges of the source's relocatable range panels, in every dashboard,
    // again in the workbook at Path and stores them.
    void AdjustRanges(db::Database* DB, const QString& Path);
    void ClearBMPs(db::Database* DB);
    // Brings the source's custom panels onto a copy of the file in use (Prepped()) from the
    // source's custom template. Nothing calls it yet; it belongs to the custom paste.
    void DoPrep(db::Database* DB);
    // Asks for a folder, owned by the main window; the chosen folder with its separator, ""
    // when the prompt was cancelled.
    QString AskFolderFor(const QString& prompt) const;
};

// False for a folder the user never chose: empty, or the lone separator that an empty folder
// column reads back as (loaded folders end with one). Such a folder is asked for, never taken
// for a drive root.
bool IsFolderChosen(const QString& folder);

// Why the workbook at `path` is not taken as a version yet; "" when it is whole and at rest. A
// workbook still being written, or cut short, has no zip directory at its end yet, and one that
// changes while it is looked at is still being written. Such a file is left for a later pass:
// it is never recorded, and the version in use keeps its pictures.
QString VersionNotWhole(const QString& path);

// The modification time of a source file in whole seconds, as the repository stores times, so
// a file's time compares equal to itself after a round trip through a source row.
QDateTime SourceFileTime(const QString& path);
