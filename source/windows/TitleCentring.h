#pragma once
// Centring a panel's title in its title bar with leading blanks, as the "Center" caption
// alignment asks. Styles differ: some centre titles themselves, others draw them at the left
// of the title area, which is narrower than the window (the icon and the buttons take their
// part). So the blanks are worked out from where the frame's own style draws the title.

#include <QString>

class QMdiSubWindow;

// The number of blanks to put before `title` so that it shows centred in the title area of
// `frame`: 0 when the style centres it already or when it doesn't fit; never so many that
// the style would cut the title short.
int CentringBlanks(const QMdiSubWindow* frame, const QString& title);
