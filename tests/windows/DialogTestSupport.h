#pragma once
// Driving a dialog as the user does: finding its controls by their names, typing into boxes
// and clicking buttons.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

template <typename T>
T* Control(const QWidget* dialog, const char* name) {
    T* control = dialog->findChild<T*>(QLatin1String(name));
    EXPECT_TRUE(control) << name;
    return control;
}

inline void Press(QWidget* dialog, const char* button) {
    if (auto* b = Control<QPushButton>(dialog, button))
        b->click();
}

inline QLineEdit* Box(const QWidget* dialog, const char* name) {
    return Control<QLineEdit>(dialog, name);
}

inline void Type(QWidget* dialog, const char* box, const QString& text) {
    if (QLineEdit* b = Box(dialog, box))
        b->setText(text);
}

inline QString TextOfBox(const QWidget* dialog, const char* box) {
    const QLineEdit* b = Box(dialog, box);
    return b ? b->text() : QStringLiteral("<missing>");
}

// The whole text of the box is selected, so the user's typing replaces it.
inline bool WholeTextSelected(const QWidget* dialog, const char* box) {
    const QLineEdit* b = Box(dialog, box);
    return b && b->hasSelectedText() && b->selectedText() == b->text();
}

inline QComboBox* Combo(const QWidget* dialog, const char* name) {
    return Control<QComboBox>(dialog, name);
}

inline QStringList ComboTexts(const QWidget* dialog, const char* name) {
    QStringList texts;
    if (QComboBox* c = Combo(dialog, name))
        for (int i = 0; i < c->count(); ++i)
            texts << c->itemText(i);
    return texts;
}
