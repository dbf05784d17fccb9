#include "qcapture/image.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "platform/pointer.h"

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    // The picture covers the box; nothing to erase beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImage::SetPicture(const QImage& picture)
{
    picture_ = picture;
    AdoptPicture();
}

void TImage::SetPicture(QImage&& picture)
{
    picture_ = std::move(picture);
    AdoptPicture();
}

void TImage::AdoptPicture()
{
    // Changing the ratio of a shared image copies it: callers that care set
    // it before handing a large picture over.
    const qreal dpr = devicePixelRatioF();
    if (!picture_.isNull() && picture_.devicePixelRatio() != dpr)
        picture_.setDevicePixelRatio(dpr);
    update();
}

QPoint TImage::PictureOffset() const
{
    const qreal dpr = devicePixelRatioF();
    const int w = int(std::ceil(picture_.width() / dpr));
    const int h = int(std::ceil(picture_.height() / dpr));
    return QPoint(std::max(0, (width() - w) / 2), std::max(0, (height() - h) / 2));
}

QRegion TImage::WidgetRegion(const QRect* begin, const QRect* end) const
{
    return WidgetRegion(begin, end, devicePixelRatioF(), PictureOffset());
}

QRegion TImage::WidgetRegion(const QRect* begin, const QRect* end, qreal dpr, QPoint offset)
{
    QRegion region;
    for (const QRect* r = begin; r != end; ++r) {
        if (dpr == 1) {
            region += r->translated(offset);
            continue;
        }
        const int left = int(std::floor(r->left() / dpr));
        const int top = int(std::floor(r->top() / dpr));
        const int right = int(std::ceil((r->left() + r->width()) / dpr));
        const int bottom = int(std::ceil((r->top() + r->height()) / dpr));
        region += QRect(left, top, right - left, bottom - top).translated(offset);
    }
    return region;
}

void TImage::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const qreal dpr = devicePixelRatioF();
    const QPoint offset = PictureOffset();
    const QRectF shown(offset, QSizeF(picture_.width() / dpr, picture_.height() / dpr));
    for (const QRect& r : event->region()) {
        const QRectF target = QRectF(r) & shown;
        if (!target.isEmpty()) {
            const QRectF source((target.x() - offset.x()) * dpr, (target.y() - offset.y()) * dpr,
                                target.width() * dpr, target.height() * dpr);
            painter.drawImage(target, picture_, source);
        }
        // Around a smaller picture: the box's own background.
        QRegion rest = QRegion(r) - shown.toAlignedRect();
        for (const QRect& b : rest)
            painter.fillRect(b, palette().button());
    }
}

QPoint TImage::PicturePosition(const QPointF& widgetPosition) const
{
    const qreal dpr = devicePixelRatioF();
    const QPointF p = widgetPosition - QPointF(PictureOffset());
    const QPoint fromQt(int(std::floor(p.x() * dpr)), int(std::floor(p.y() * dpr)));
    if (dpr == 1)
        return fromQt;
    // Scaled: Qt rounded the position to a logical pixel. Ask the server,
    // unless the pointer has moved on since this event.
    const QPoint origin = mapTo(window(), PictureOffset()) * dpr;
    if (const std::optional<QPoint> native = PointerInWindow(window()->winId())) {
        const QPoint exact = *native - origin;
        if (std::abs(exact.x() - fromQt.x()) <= dpr && std::abs(exact.y() - fromQt.y()) <= dpr)
            return exact;
    }
    return fromQt;
}

void TImage::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = PicturePosition(event->position());
    emit MouseMoved(p.x(), p.y());
}

void TImage::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = PicturePosition(event->position());
    emit MousePressed(event->button(), p.x(), p.y());
}

void TImage::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt reports the second press of a double click only as this event.
    mousePressEvent(event);
}
