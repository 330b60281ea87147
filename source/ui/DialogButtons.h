#pragma once
// The row of command buttons at the foot of a dialog, right-aligned, each named by its
// control name; the first is the default button. And the sizing every dialog shares.

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

// Sizes a dialog to its contents at `width` (pixels of a 96 dpi screen; at least its layout's
// minimum): exactly the height its layout needs for the texts it holds now, word-wrapped labels
// included, so nothing is cut and no band is left empty; and no smaller, so it can't be shrunk
// until texts are cut. Call it once the texts are set, and again after parts are shown or
// hidden.
void FitDialogToContents(QWidget* dialog, int width);
