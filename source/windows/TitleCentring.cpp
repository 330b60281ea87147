#include "windows/TitleCentring.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMdiSubWindow>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include <algorithm>

namespace {
// Room beside a title in its label: styles that elide titles leave a margin of their own, and
// a label only as wide as the title itself would cut it short.
constexpr int kLabelMargin = 16;
}  // namespace

void PanelFrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                         QPainter* painter, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionTitleBar*>(option);
    if (control != CC_TitleBar || !bar || !painter) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // The base centres the title in its label: a label only as wide as the title, starting
    // where the base's label starts, puts it at the left. Some styles paint titles bold.
    QFont bold = painter->font();
    bold.setBold(true);
    const int width = std::max(QFontMetrics(painter->font()).horizontalAdvance(bar->text),
                               QFontMetrics(bold).horizontalAdvance(bar->text));
    const int outer = paintedTitleWidth_;
    paintedTitleWidth_ = width;
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    paintedTitleWidth_ = outer;
}

QRect PanelFrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                      SubControl sub, const QWidget* widget) const {
    QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
    // Only the painting moves: the label stays as wide as it is for the mouse.
    if (control == CC_TitleBar && sub == SC_TitleBarLabel && paintedTitleWidth_ >= 0 &&
        paintedTitleWidth_ + kLabelMargin < rect.width())
        rect.setWidth(paintedTitleWidth_ + kLabelMargin);
    return rect;
}

QStyle* PanelFrameStyleInstance() {
    // Lives as long as the program, so no frame is ever left with a deleted style.
    static QStyle* style = [] {
        auto* s = new PanelFrameStyle;
        s->setParent(QCoreApplication::instance());
        return s;
    }();
    return style;
}

namespace {

// The font an MDI frame paints its title with.
QFont TitleFont() { return QApplication::font("QMdiSubWindowTitleBar"); }

QStyleOptionTitleBar TitleOption(const QMdiSubWindow* frame, const QString& text) {
    QStyleOptionTitleBar option;
    option.initFrom(frame);
    option.text = text;
    option.icon = frame->windowIcon();
    option.titleBarFlags = frame->windowFlags();
    option.titleBarState = static_cast<int>(frame->windowState());
    option.subControls = QStyle::SC_All;
    option.activeSubControls = QStyle::SC_None;
    option.fontMetrics = QFontMetrics(TitleFont());
    const int height = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, frame);
    option.rect = QRect(0, 0, frame->width(), height);
    return option;
}

QImage PaintedTitleBar(const QMdiSubWindow* frame, const QString& text) {
    const QStyleOptionTitleBar option = TitleOption(frame, text);
    QImage image(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(TitleFont());
    frame->style()->drawComplexControl(QStyle::CC_TitleBar, &option, &painter, frame);
    return image;
}

// The columns the glyphs of `text` cover in the painted title bar: what differs from the same
// bar painted without a title. {-1, -1} when nothing shows.
std::pair<int, int> TextColumns(const QMdiSubWindow* frame, const QString& text, const QImage& bare) {
    const QImage painted = PaintedTitleBar(frame, text);
    int first = -1, last = -1;
    for (int x = 0; x < painted.width(); ++x)
        for (int y = 0; y < painted.height(); ++y)
            if (painted.pixel(x, y) != bare.pixel(x, y)) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

double Centre(const std::pair<int, int>& columns) { return (columns.first + columns.second) / 2.0; }
int Width(const std::pair<int, int>& columns) { return columns.second - columns.first; }

}  // namespace

int CentringBlanks(const QMdiSubWindow* frame, const QString& title) {
    if (!frame || title.trimmed().isEmpty() || frame->width() <= 0)
        return 0;
    const QStyleOptionTitleBar option = TitleOption(frame, title);
    const QRect area = frame->style()->subControlRect(QStyle::CC_TitleBar, &option,
                                                       QStyle::SC_TitleBarLabel, frame);
    const QImage bare = PaintedTitleBar(frame, QString());
    const auto plain = TextColumns(frame, title, bare);
    if (plain.first < 0 || area.width() <= 0)
        return 0;
    // Already centred (the style does it), or as wide as the area: nothing to add.
    const double wanted = area.left() + (area.width() - 1) / 2.0;
    const double missing = wanted - Centre(plain);
    if (missing < 2)
        return 0;
    // How far one blank moves the title as this style draws it, measured over as many blanks
    // as still leave the title whole.
    double perBlank = 0;
    for (const int probe : {16, 4, 1}) {
        const auto probed = TextColumns(frame, QString(probe, QLatin1Char(' ')) + title, bare);
        if (probed.first >= 0 && Width(probed) >= Width(plain) - 1) {
            perBlank = (Centre(probed) - Centre(plain)) / probe;
            break;
        }
    }
    if (perBlank < 0.5)
        return 0;
    int blanks = static_cast<int>(missing / perBlank + 0.5);
    // A style cuts a title that doesn't fit short; fewer blanks then, never a cut title.
    while (blanks > 0) {
        const auto padded = TextColumns(frame, QString(blanks, QLatin1Char(' ')) + title, bare);
        if (Width(padded) >= Width(plain) - 1)
            break;
        blanks -= std::max(1, blanks / 8);
    }
    return std::max(blanks, 0);
}
