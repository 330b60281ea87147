#pragma once
// The row of command buttons at the foot of a dialog, right-aligned, each named by its
// control name; the first is the default button.

#include <QString>

#include <functional>
#include <initializer_list>

class QHBoxLayout;
class QWidget;

struct DialogButton {
    const char* control;
    QString caption;
    std::function<void()> onClick;
};

QHBoxLayout* DialogButtonRow(QWidget* owner, std::initializer_list<DialogButton> buttons);
