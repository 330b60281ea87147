#pragma once
// Centring a panel's title in its title bar with leading blanks, as the "Center" caption
// alignment asks. Styles differ: some centre titles themselves, others draw them at the left
// of the title area, which is narrower than the window (the icon and the buttons take their
// part). So the blanks are worked out from where the frame's own style draws the title.

#include <QProxyStyle>
#include <QString>

class QMdiSubWindow;

// The style of a panel's frame: its base style's title bar, with the title drawn at the left of
// the title area whatever the base does. Styles that centre every title (Fusion, the one the
// program gets on most Linux desktops) would otherwise give "Left" no effect; with the title
// at the left, "Center" is made by the leading blanks below, as on a desktop whose title bars
// draw at the left. Without a base it follows the application's style.
class PanelFrameStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget = nullptr) const override;

private:
    // While a title bar is painted: the width its title takes, for the label's place.
    mutable int paintedTitleWidth_ = -1;
};

// The one frame style of the program's panel windows.
QStyle* PanelFrameStyleInstance();

// The number of blanks to put before `title` so that it shows centred in the title area of
// `frame`: 0 when the style centres it already or when it doesn't fit; never so many that
// the style would cut the title short.
int CentringBlanks(const QMdiSubWindow* frame, const QString& title);
