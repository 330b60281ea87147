#include "ui/modUtilsControls.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QListWidget>

namespace {
constexpr int kItemDataRole = Qt::UserRole;

bool Refused(char32_t c) { return c == U'\'' || c == U'"' || c == U'*' || c == U'+'; }

// Drops refused characters before the name box sees them. Each typed character is checked,
// so a key that produces several characters at once can't slip one through.
class NameKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
                return QObject::eventFilter(watched, event);
            for (const char32_t c : key->text().toUcs4()) {
                int code = static_cast<int>(c);
                ValidNameKey(code);
                if (code == 0)
                    return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};
}  // namespace

void Combo_AddItem(QComboBox* combo, const QString& text, int32_t data) {
    if (combo)
        combo->addItem(text, QVariant::fromValue<int32_t>(data));
}

void Combo_SelectByData(QComboBox* combo, int32_t data) {
    if (!combo)
        return;
    combo->setCurrentIndex(-1);
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant value = combo->itemData(i, kItemDataRole);
        if (value.isValid() && value.toInt() == data) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void Combo_SelectByText(QComboBox* combo, const QString& text) {
    if (!combo)
        return;
    combo->setCurrentIndex(-1);
    const QString wanted = text.trimmed();
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).trimmed().compare(wanted, Qt::CaseInsensitive) == 0) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void List_AddItem(QListWidget* list, const QString& text, int32_t data) {
    if (!list)
        return;
    auto* item = new QListWidgetItem(text);
    item->setData(kItemDataRole, QVariant::fromValue<int32_t>(data));
    list->addItem(item);
}

void List_SelectByData(QListWidget* list, int32_t data) {
    if (!list)
        return;
    list->setCurrentRow(-1);
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const QVariant value = item->data(kItemDataRole);
        if (value.isValid() && value.toInt() == data) {
            // In a one-choice list the selected item is also the current one.
            if (list->selectionMode() == QAbstractItemView::SingleSelection)
                list->setCurrentItem(item);
            item->setSelected(true);
            return;
        }
    }
}

int32_t Combo_ItemData(const QComboBox* combo, int index) {
    return combo ? combo->itemData(index, kItemDataRole).toInt() : 0;
}

int32_t List_ItemData(const QListWidget* list, int row) {
    const QListWidgetItem* item = list ? list->item(row) : nullptr;
    return item ? item->data(kItemDataRole).toInt() : 0;
}

void ValidNameKey(int& keyAscii) {
    if (keyAscii > 0 && Refused(static_cast<char32_t>(keyAscii))) {
        QApplication::beep();
        keyAscii = 0;
    }
}

void InstallValidNameKey(QWidget* box) {
    if (box)
        box->installEventFilter(new NameKeyFilter(box));
}
