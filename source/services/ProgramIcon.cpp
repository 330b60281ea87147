#include "services/ProgramIcon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// One size, drawn on a grid of 16 units so small sizes stay sharp.
QPixmap Drawn(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;

    QPainterPath tile;
    tile.addRoundedRect(QRectF(0.5 * u, 0.5 * u, 15 * u, 15 * u), 3 * u, 3 * u);
    p.fillPath(tile, QColor(0x1F, 0x5F, 0x7A));

    // Three bars of a chart, rising to the right.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal base = 13 * u;
    const struct { qreal x, height; } bars[] = {{3, 4}, {6.5, 6.5}, {10, 9}};
    for (const auto& bar : bars)
        p.drawRect(QRectF(bar.x * u, base - bar.height * u, 2.5 * u, bar.height * u));

    // The beacon: a lit dot above the lower bars.
    p.setBrush(QColor(0xFF, 0xB3, 0x00));
    p.drawEllipse(QPointF(5 * u, 4.5 * u), 2 * u, 2 * u);
    return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
    static const QIcon icon = [] {
        QIcon drawn;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            drawn.addPixmap(Drawn(size));
        return drawn;
    }();
    return icon;
}

void InstallProgramIcon() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setWindowIcon(ProgramIcon());
}
