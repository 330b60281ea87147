#pragma once
// The writing half of the workbook engine. The object model's writing members (Save, SaveAs,
// Workbooks.Add, Sheets.Add, Sheet.Copy, Paste, RefreshAll...) are defined in
// WorkbookWriter.cpp; they work on the package's XML parts and then read the workbook again
// from the changed package, so the model always shows what a save would write.

#include "platform/workbook/PackageEdit.h"
#include "platform/workbook/Workbook.h"

#include <QDateTime>

namespace xl {

// The serial number of a date-time in a workbook's date system.
double DateSerial(const QDateTime& value, bool date1904);

// A sheet name the spreadsheet accepts: 1 to 31 characters, none of []:*?/\, not starting or
// ending with an apostrophe. Empty when it is fine, otherwise the reason.
QString SheetNameProblem(const QString& name);

// The engine's internals the writing members share (a friend of the model's classes).
class Writer {
public:
    // The package with every edit still held in memory (values, colours, sizes, shapes)
    // written into its parts. `changed` tells whether there were any.
    static PackageEdit Flush(Workbook& book, bool* changed = nullptr);
    // Reads the workbook again from `pkg`; the model's sheet and shape objects that are
    // still there stay the same objects.
    static void Commit(Workbook& book, const PackageEdit& pkg);
    [[nodiscard]] static bool HasPendingEdits(const Workbook& book);
    static void WriteTo(Workbook& book, const QString& path);
    static Workbook* AddBook(Application& app, std::shared_ptr<const WorkbookData> data, const QString& name);
    static QString NextBookName(Application& app, const QString& stem);

private:
    static void Rebind(Workbook& book, std::shared_ptr<const WorkbookData> data);
};

}  // namespace xl
