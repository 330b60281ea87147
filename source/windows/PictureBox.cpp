#include "windows/PictureBox.h"

#include "services/Twips.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
}

void PictureBox::SetPicture(const QImage& picture) {
    picture_ = picture;
    drawing_ = QImage();
    if (AutoSize && !picture_.isNull())
        resize(picture_.size());
    update();
}

QImage PictureBox::Image() const {
    if (!drawing_.isNull())
        return drawing_;
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter p(&image);
    if (!picture_.isNull())
        p.drawImage(0, 0, picture_);
    return image;
}

void PictureBox::PaintPicture(const QImage& source, double x, double y, double width,
                              double height) {
    if (drawing_.isNull() || drawing_.size() != size().expandedTo(QSize(1, 1)))
        drawing_ = Image();
    QPainter p(&drawing_);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect target(TwipsToPixelsX(x), TwipsToPixelsY(y), TwipsToPixelsX(width),
                       TwipsToPixelsY(height));
    p.drawImage(target, source, source.rect());
    update();
}

double PictureBox::Left() const { return PixelsToTwipsX(x()); }
double PictureBox::Top() const { return PixelsToTwipsY(y()); }
double PictureBox::Width() const { return PixelsToTwipsX(width()); }
double PictureBox::Height() const { return PixelsToTwipsY(height()); }
void PictureBox::SetLeft(double twips) { move(TwipsToPixelsX(twips), y()); }
void PictureBox::SetTop(double twips) { move(x(), TwipsToPixelsY(twips)); }
void PictureBox::SetWidth(double twips) { resize(std::max(0, TwipsToPixelsX(twips)), height()); }
void PictureBox::SetHeight(double twips) { resize(width(), std::max(0, TwipsToPixelsY(twips))); }

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (!drawing_.isNull())
        p.drawImage(0, 0, drawing_);
    else if (!picture_.isNull())
        p.drawImage(0, 0, picture_);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event->button(), event->modifiers(), PixelsToTwipsX(event->position().x()),
                   PixelsToTwipsY(event->position().y()));
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent*) { emit DblClick(); }
