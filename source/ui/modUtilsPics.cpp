#include "ui/modUtilsPics.h"

#include "services/modUtilsLog.h"

#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <cmath>
#include <limits>

namespace {
const QString kModule = QStringLiteral("modUtilsPics");
constexpr double kTwipsPerInch = 1440.0;

// Whole pixels in 16 bits, as window sizes are stored: nearest, a half to the even one, so a
// size converted back and forth does not creep.
bool ToPixels(double value, int16_t* out) {
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<int16_t>::min() ||
        rounded > std::numeric_limits<int16_t>::max())
        return false;
    *out = static_cast<int16_t>(rounded);
    return true;
}

QImage Flattened(const QImage& image) {
    QImage plain(image.size(), QImage::Format_RGB32);
    plain.fill(Qt::white);
    QPainter painter(&plain);
    painter.drawImage(0, 0, image);
    return plain;
}
}  // namespace

bool CopyFormContents(QWidget* form, QPixmap* picture, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2) {
    if (!form || !picture) {
        LogError(kModule, QStringLiteral("CopyFormContents"), ErrNum::kObjectNotSet,
                 QStringLiteral("Object variable not set"), true);
        return false;
    }
    *picture = QPixmap();
    const double dpiX = form->logicalDpiX() > 0 ? form->logicalDpiX() : 96.0;
    const double dpiY = form->logicalDpiY() > 0 ? form->logicalDpiY() : 96.0;
    const double twipsPerPixelX = kTwipsPerInch / dpiX;
    const double twipsPerPixelY = kTwipsPerInch / dpiY;
    int16_t width = 0, height = 0, left = 0, top = 0;
    if (!ToPixels((X2 - X1) / twipsPerPixelX, &width) ||
        !ToPixels((Y2 - Y1) / twipsPerPixelY, &height) || !ToPixels(X1 / twipsPerPixelX, &left) ||
        !ToPixels(Y1 / twipsPerPixelY, &top)) {
        LogError(kModule, QStringLiteral("CopyFormContents"), 6, QStringLiteral("Overflow"), true);
        return false;
    }
    if (width <= 0 || height <= 0) {
        LogError(kModule, QStringLiteral("CopyFormContents"), ErrNum::kGeneral,
                 QStringLiteral("Invalid procedure call or argument"), true);
        return false;
    }
    int menuHeight = 0;
    if (auto* main = qobject_cast<QMainWindow*>(form); main && main->menuWidget() &&
                                                      main->menuWidget()->isVisible())
        menuHeight = main->menuWidget()->height();

    // Parts of the rectangle outside the window stay the window's background colour.
    const QRect area(left, top + menuHeight, width, height);
    const QPixmap grabbed = form->grab(area.intersected(form->rect()));
    QPixmap copy(width, height);
    copy.fill(form->palette().color(form->backgroundRole()));
    QPainter painter(&copy);
    const QPoint at = area.intersected(form->rect()).topLeft() - area.topLeft();
    painter.drawPixmap(QRect(at, grabbed.deviceIndependentSize().toSize()), grabbed);
    painter.end();
    *picture = copy;
    return true;
}

void SetClipboardBitmap(const QImage& image) {
    auto* data = new QMimeData;
    data->setImageData(Flattened(image));
    QGuiApplication::clipboard()->setMimeData(data);
}

void CopyPic2007() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QImage image = data && data->hasImage() ? qvariant_cast<QImage>(data->imageData())
                                                  : QImage();
    if (image.isNull()) {
        LogError(kModule, QStringLiteral("CopyPic2007"), ErrNum::kUnreadable,
                 QStringLiteral("There is no picture on the clipboard."), true);
        return;
    }
    SetClipboardBitmap(image);
}
