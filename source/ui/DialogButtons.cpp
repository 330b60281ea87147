#include "ui/DialogButtons.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QWidget>
#include <QPushButton>

QHBoxLayout* DialogButtonRow(QWidget* owner, std::initializer_list<DialogButton> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    bool first = true;
    for (const DialogButton& spec : buttons) {
        auto* button = new QPushButton(spec.caption, owner);
        button->setObjectName(QLatin1String(spec.control));
        button->setAutoDefault(false);
        button->setDefault(first);
        first = false;
        QObject::connect(button, &QPushButton::clicked, owner, spec.onClick);
        row->addWidget(button);
    }
    return row;
}

void FitDialogToContents(QWidget* dialog, int width) {
    QLayout* layout = dialog ? dialog->layout() : nullptr;
    if (!layout)
        return;
    // Every part forgets the sizes its layout keeps for it, so what was shown, hidden or given
    // a new text since counts: a frame holding a hidden one would keep its old height.
    for (QWidget* part : dialog->findChildren<QWidget*>())
        part->updateGeometry();
    for (QLayout* inner : dialog->findChildren<QLayout*>())
        inner->invalidate();
    layout->activate();
    // `width` is for a 96 dpi screen; a desktop set to larger fonts gets a wider dialog.
    const int scaled = qRound(width * dialog->logicalDpiX() / 96.0);
    const int w = std::max(scaled, layout->totalMinimumSize().width());
    const int h = layout->hasHeightForWidth() ? layout->totalHeightForWidth(w)
                                              : layout->totalSizeHint().height();
    dialog->setMinimumHeight(h);
    dialog->resize(w, h);
}
