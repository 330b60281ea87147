#pragma once
// Opening fixture workbooks and reading pixels of the painter's pictures.

#include "WorkbookFixtures.h"

#include "platform/workbook/CopyPicture.h"
#include "platform/workbook/RangePainter.h"
#include "platform/workbook/Workbook.h"

#include <QImage>

#include <functional>
#include <memory>

namespace painting {

struct Opened {
    std::unique_ptr<xl::Application> app = std::make_unique<xl::Application>();
    xl::Workbook* book = nullptr;
    xl::Worksheet* Sheet(const QString& name) const { return book->Sheets().Item(name); }
    QImage Picture(const QString& sheet, const QString& range) const {
        return xl::RangePicture(Sheet(sheet)->Range(range));
    }
};

inline Opened Open(const QString& path) {
    Opened o;
    o.book = o.app->Workbooks().Open(path);
    return o;
}

inline QColor At(const QImage& img, int x, int y) { return img.pixelColor(x, y); }

// Pixels of a rectangle (inclusive) that satisfy `pred`.
inline int Count(const QImage& img, const QRect& r, const std::function<bool(QColor)>& pred) {
    int n = 0;
    const QRect box = r.intersected(img.rect());
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            n += pred(img.pixelColor(x, y)) ? 1 : 0;
    return n;
}

inline int CountColor(const QImage& img, const QColor& c, const QRect& r = {}) {
    const QRect box = r.isNull() ? img.rect() : r;
    return Count(img, box, [&](QColor p) { return p.rgb() == c.rgb(); });
}

// Text pixels: darker than any gridline or the white background.
inline bool Dark(QColor c) { return c.lightness() < 150; }

// The bounds of the text pixels within a rectangle; empty when there are none.
inline QRect Ink(const QImage& img, const QRect& box) {
    QRect r;
    const QRect b = box.intersected(img.rect());
    for (int y = b.top(); y <= b.bottom(); ++y)
        for (int x = b.left(); x <= b.right(); ++x)
            if (Dark(img.pixelColor(x, y)))
                r |= QRect(x, y, 1, 1);
    return r;
}

}  // namespace painting
