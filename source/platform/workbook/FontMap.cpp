#include "platform/workbook/FontMap.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/Styles.h"

#include <QGuiApplication>
#include <QHash>

#include <algorithm>
#include <cmath>

namespace xl {

QString StandInFamily(const QString& fontName) {
    static const QHash<QString, QString> map = {
        {QStringLiteral("calibri"), QStringLiteral("Carlito")},
        {QStringLiteral("calibri light"), QStringLiteral("Carlito")},
        {QStringLiteral("cambria"), QStringLiteral("Caladea")},
        {QStringLiteral("arial"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("helvetica"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("times new roman"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("times"), QStringLiteral("Liberation Serif")},
        {QStringLiteral("courier new"), QStringLiteral("Liberation Mono")},
        {QStringLiteral("courier"), QStringLiteral("Liberation Mono")}};
    const QString key = fontName.trimmed().toLower();
    if (key.isEmpty())
        return QStringLiteral("Carlito");
    return map.value(key, fontName.trimmed());
}

void NeedFonts() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw Error(QStringLiteral("Pictures can only be painted while the program's window "
                                   "system is running."));
}

QFont PaintFont(const QString& fontName, double points, bool bold) {
    QFont f(StandInFamily(fontName));
    // Unknown families fall back to a sans face of Calibri's proportions rather than
    // whatever fontconfig ranks first.
    f.setFamilies({StandInFamily(fontName), QStringLiteral("Carlito"),
                   QStringLiteral("Liberation Sans")});
    const double pts = std::isfinite(points) ? std::clamp(points, 1.0, 409.0) : 11.0;
    f.setPixelSize(std::max(1, int(std::lround(pts * 96.0 / 72.0))));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QFont PaintFont(const Font& font) {
    QFont f = PaintFont(font.name, font.size, font.bold);
    f.setItalic(font.italic);
    f.setStrikeOut(font.strike);
    f.setUnderline(font.underline != Underline::None);
    return f;
}

}  // namespace xl
