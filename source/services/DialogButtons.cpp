#include "services/DialogButtons.h"

#include <QHBoxLayout>
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
