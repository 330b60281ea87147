#pragma once
// A picture box as the panel window uses it: it shows one picture at its top-left corner
// (unscaled), can take the size of its picture (AutoSize), and keeps a persistent drawing
// (AutoRedraw) that pictures are painted onto, stretched, and that can become its picture.
// As a child of another picture box it is clipped by it, so a frame shows a moved part of a
// larger picture. Positions and sizes are in twips, as the panel window lays them out.

#include <QImage>
#include <QWidget>

#include <cstdint>

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    bool AutoSize = false;
    bool AutoRedraw = false;

    QImage Picture() const { return picture_; }
    // Takes the picture; with AutoSize the box takes its size.
    void SetPicture(const QImage& picture);
    // The persistent drawing: what was painted since the picture was last set.
    QImage Image() const;
    // The pixels of the persistent drawing, 0 without one.
    int64_t DrawingPixels() const { return int64_t(drawing_.width()) * drawing_.height(); }
    // Paints the whole of `source` stretched onto the rectangle (twips) of the drawing.
    void PaintPicture(const QImage& source, double x, double y, double width, double height);

    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    double ScaleWidth() const { return Width(); }
    double ScaleHeight() const { return Height(); }
    void SetLeft(double twips);
    void SetTop(double twips);
    void SetWidth(double twips);
    void SetHeight(double twips);

signals:
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y);
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QImage drawing_;
};
