#pragma once
// The overlay's picture box: shows its picture unscaled, one picture pixel on
// one device pixel (the picture's device pixel ratio follows the screen's),
// centred when the box is larger, and reports the mouse in picture pixels.

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QWidget>

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    const QImage& Picture() const { return picture_; }
    // For drawing into the picture in place; call RepaintPicture after.
    QImage& Picture() { return picture_; }
    // Replaces the picture and repaints the box.
    void SetPicture(const QImage& picture);
    void SetPicture(QImage&& picture);

    // Repaints the parts of the box showing these picture rectangles.
    template <typename Rects>
    void RepaintPicture(const Rects& pictureRects)
    {
        if (isVisible())
            update(WidgetRegion(pictureRects.begin(), pictureRects.end()));
    }

    // The box area showing the given picture rectangles, rounded outwards.
    QRegion WidgetRegion(const QRect* begin, const QRect* end) const;
    static QRegion WidgetRegion(const QRect* begin, const QRect* end, qreal dpr, QPoint offset);

    // The top-left of the picture in the box (non-zero only when centred).
    QPoint PictureOffset() const;

signals:
    // Positions in device pixels of the picture (box position times the
    // device pixel ratio, floored).
    void MouseMoved(int x, int y);
    // Every button; the second press of a double click too.
    void MousePressed(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPoint PicturePosition(const QPointF& widgetPosition) const;
    void AdoptPicture();

    QImage picture_;
};
