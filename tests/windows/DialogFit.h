#pragma once
// Whether a shown dialog fits its texts: every label, button and check box shows its whole
// text, and the dialog is no taller than its contents need (no empty band). Checked at the
// normal font and at one half again as large, as a 144 dpi desktop shows it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLayout>
#include <QWidget>

#include <QTimer>

#include <functional>
#include <string>

// Runs `body` once at the application's font and once at 1.5 times its size.
template <typename Body>
void AtBothFontSizes(Body body) {
    const QFont normal = QApplication::font();
    for (const double scale : {1.0, 1.5}) {
        QFont font = normal;
        font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        SCOPED_TRACE(scale == 1.0 ? "96 dpi" : "144 dpi");
        body();
    }
    QApplication::setFont(normal);
}

// `dialog` has been filled and shown; `name` names it in failures. A dialog with a list that
// may take any spare height (`listGrows`) is only checked for cut texts.
inline void ExpectFitsItsTexts(QWidget* dialog, const std::string& name, bool listGrows = false) {
    QApplication::processEvents();
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const std::string what = name + " " + label->objectName().toStdString() + " \"" +
                                 label->text().left(30).toStdString() + "\"";
        if (label->wordWrap())
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what << " is cut";
        else
            EXPECT_GE(label->width(), label->sizeHint().width()) << what << " is cut";
        EXPECT_GE(label->height(), label->fontMetrics().height()) << what << " is cut";
    }
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty())
            continue;
        EXPECT_GE(button->width(), button->minimumSizeHint().width())
            << name << " " << button->objectName().toStdString() << " is cut";
    }
    // No empty band: the dialog is as tall as its contents need at its width, no taller.
    if (QLayout* layout = dialog->layout(); layout && !listGrows) {
        const int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(dialog->width())
                                                       : layout->totalSizeHint().height();
        EXPECT_LE(dialog->height(), needed + 2) << name << " has an empty band";
        EXPECT_GE(dialog->height(), layout->totalMinimumSize().height()) << name << " is squeezed";
    }
}

// Runs `show` (the dialog's own Show, which runs it modally) and checks the dialog once it is
// up, then closes it.
inline void ExpectShownDialogFits(const std::string& name, const std::function<void()>& show,
                                  bool listGrows = false) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        seen = true;
        ExpectFitsItsTexts(dialog, name, listGrows);
        dialog->close();
    });
    show();
    EXPECT_TRUE(seen) << name << " was not shown";
}
