#pragma once
// Watches the clipboard while the program runs and remembers the workbook of the last
// spreadsheet link it saw. A copied chart names no document, so this memory is the only hint of
// the workbook it came from.

#include "platform/desktop/ClipboardSelection.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QClipboard;
class QMimeData;

namespace desk {

class ClipboardWatcher : public QObject {
    Q_OBJECT
public:
    // Watches `clipboard` (the application's when null) and looks at what it already holds, so
    // cells copied before the program started count too.
    explicit ClipboardWatcher(QClipboard* clipboard = nullptr, QObject* parent = nullptr);

    // The program's one watcher, made on first use and living as long as the application.
    static ClipboardWatcher* Instance();

    // The linked document's path and sheet of the last link seen; "" when none was seen, or
    // when the last one came from a document never saved.
    QString LastWorkbook() const { return lastWorkbook_; }
    QString LastSheet() const { return lastSheet_; }
    void Forget();

    // The clipboard's content now, classified with the remembered workbook.
    ClipboardSelection Current() const;

    // Takes note of a clipboard content; the clipboard's change signal ends here.
    void Look(const QMimeData* data);

signals:
    void WorkbookSeen(const QString& path);

private:
    QPointer<QClipboard> clipboard_;
    QString lastWorkbook_;
    QString lastSheet_;
};

}  // namespace desk
