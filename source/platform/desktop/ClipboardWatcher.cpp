#include "platform/desktop/ClipboardWatcher.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

namespace desk {

ClipboardWatcher::ClipboardWatcher(QClipboard* clipboard, QObject* parent)
    : QObject(parent), clipboard_(clipboard ? clipboard : QGuiApplication::clipboard()) {
    if (!clipboard_)
        return;
    connect(clipboard_, &QClipboard::dataChanged, this,
            [this] { Look(clipboard_ ? clipboard_->mimeData() : nullptr); });
    Look(clipboard_->mimeData());
}

ClipboardWatcher* ClipboardWatcher::Instance() {
    static QPointer<ClipboardWatcher> instance;
    if (!instance)
        instance = new ClipboardWatcher(nullptr, QCoreApplication::instance());
    return instance;
}

void ClipboardWatcher::Forget() {
    lastWorkbook_.clear();
    lastSheet_.clear();
}

void ClipboardWatcher::Look(const QMimeData* data) {
    const QString format = FindFormat(data, QLatin1String(kLinkFormat));
    if (format.isEmpty())
        return;  // a chart, text or a picture: the memory stays as it was
    const auto link = ParseSheetLink(data->data(format));
    if (!link)
        return;
    // A chart copied right after cells of a never-saved document most likely comes from that
    // document: an older workbook would only offer a wrong chart of the same size.
    if (!link->IsSaved()) {
        Forget();
        return;
    }
    lastWorkbook_ = link->document;
    lastSheet_ = link->sheet;
    emit WorkbookSeen(lastWorkbook_);
}

ClipboardSelection ClipboardWatcher::Current() const {
    return ClassifyClipboard(clipboard_ ? clipboard_->mimeData() : nullptr, lastWorkbook_);
}

}  // namespace desk
