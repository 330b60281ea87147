#include "platform/workbook/CopyPicture.h"

#include "platform/workbook/Error.h"
#include "platform/workbook/RangePainter.h"
#include "platform/workbook/Workbook.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace xl {

namespace {

// A distance from the sheet's origin in pixels, far ones clamped clear of the picture.
int Position(double points) {
    if (!std::isfinite(points))
        return 0;
    return int(std::clamp(std::llround(points * 96.0 / 72.0), -4LL * kMaxPictureSide,
                          4LL * kMaxPictureSide));
}

int Pixels(double points) {
    if (!std::isfinite(points) || points <= 0)
        return 0;
    return int(std::min(std::lround(points * 96.0 / 72.0), long(kMaxPictureSide) + 1));
}

void ToClipboard(const QImage& image) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw Error(QStringLiteral("There is no clipboard to copy the picture to."));
    QGuiApplication::clipboard()->setImage(image);
}

}  // namespace

QImage RangePicture(const Range& range) {
    if (!range.IsValid())
        throw Error(QStringLiteral("The range to picture belongs to no sheet."));
    Worksheet* sheet = range.Parent();
    QImage img = PaintRange(*sheet, range.Ref());
    // Charts and pictures over the range are part of what the user sees there.
    const int64_t left = sheet->ColumnLeftPixels(range.Ref().col1);
    const int top = Position(sheet->RowTop(range.Ref().row1));
    QPainter p;
    for (const std::unique_ptr<Shape>& shape : sheet->ShapeObjects()) {
        if (shape->IsDeleted() || !(shape->HasChart() || shape->Type() == ShapeType::Picture))
            continue;
        const int64_t x = Position(shape->Left()) - left;
        const int64_t y = int64_t(Position(shape->Top())) - top;
        if (std::abs(x) > 2 * kMaxPictureSide || std::abs(y) > 2 * kMaxPictureSide)
            continue;
        const QRect box(QPoint(int(x), int(y)), ShapePictureSize(*shape));
        if (box.isEmpty() || !box.intersects(img.rect()))
            continue;
        ChartPicture pic;
        try {
            pic = ShapePicture(*shape);
        } catch (const Error&) {
            continue;  // a shape too large to paint: the cells under it still show
        }
        if (!p.isActive())
            p.begin(&img);
        p.drawImage(box.topLeft(), pic.image);
    }
    return img;
}

QSize ShapePictureSize(const Shape& shape) {
    // A chart covers the pixels Calc draws it on, to the scale of the sheet's cells.
    if (shape.HasChart())
        return shape.ScreenSize();
    // The size the drawing gives the shape itself: a workbook saved by LibreOffice anchors its
    // shapes to cells that measure narrower here than there, while the shape's own extent is the
    // size the user saw and copied.
    const QSizeF declared = shape.DeclaredSize();
    return QSize(Pixels(declared.width()), Pixels(declared.height()));
}

ChartPicture ShapePicture(const Shape& shape) {
    const QSize size = ShapePictureSize(shape);
    const WorkbookData& book = shape.Parent()->Book();
    if (shape.HasChart()) {
        // Laid out at the chart's own size at 96 dpi, drawn to the pixels it covers.
        const QSizeF declared = shape.DeclaredSize() * (96.0 / 72.0);
        return PaintChart(shape.Chart(), book.Look().theme, shape.Name(), size, declared);
    }
    // A picture shape shows its media at the shape's size; anything else is a placeholder.
    const DrawingShape& d = shape.Data();
    if (d.kind == ShapeKind::Picture && !d.imagePart.isEmpty()) {
        QImage media = QImage::fromData(book.package.Part(d.imagePart));
        if (!media.isNull() && !size.isEmpty() && size.width() <= kMaxPictureSide &&
            size.height() <= kMaxPictureSide &&
            int64_t(size.width()) * size.height() <= kMaxPicturePixels) {
            ChartPicture out;
            out.image = QImage(size, QImage::Format_RGB32);
            out.image.fill(Qt::white);
            QPainter p(&out.image);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(QPoint(0, 0), size), media);
            p.end();
            return out;
        }
    }
    ChartPicture out = PaintChart(nullptr, book.Look().theme, shape.Name(), size);
    out.note = QStringLiteral("The shape %1 is not a chart; it is shown as a placeholder.")
                   .arg(shape.Name());
    return out;
}

void Range::CopyPicture(int appearance, int format) const {
    (void)appearance;
    (void)format;
    ToClipboard(RangePicture(*this));
}

QString Shape::CopyPicture(int appearance, int format) const {
    (void)appearance;
    (void)format;
    ChartPicture pic = ShapePicture(*this);
    ToClipboard(pic.image);
    return pic.note;
}

}  // namespace xl
