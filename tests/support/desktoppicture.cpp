#include "desktoppicture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

QImage DesktopPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QPainter p(&picture);

    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(28, 64, 120));
    sky.setColorAt(0.6, QColor(90, 140, 190));
    sky.setColorAt(1, QColor(210, 170, 120));
    p.fillRect(picture.rect(), sky);

    // A photo-like patch: smooth colour with noise, the hardest part to compress.
    QRandomGenerator noise(1234);
    const QRect photo(width * 5 / 8, height / 12, width / 3, height / 3);
    for (int y = photo.top(); y <= photo.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = photo.left(); x <= photo.right(); ++x) {
            const int n = int(noise.bounded(40)) - 20;
            line[x] = qRgb(qBound(0, 120 + (x - photo.left()) * 100 / photo.width() + n, 255),
                           qBound(0, 160 - (y - photo.top()) * 80 / photo.height() + n, 255),
                           qBound(0, 90 + n, 255));
        }
    }

    // Windows with title bars and text.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qMax(9, height / 80));
    p.setFont(font);
    const int lineHeight = font.pixelSize() + 4;
    const QRect windows[] = {
        {width / 20, height / 10, width / 2, height / 2},
        {width / 4, height / 3, width / 2, height / 2},
        {width / 30, height * 2 / 3, width / 3, height / 4},
    };
    int n = 0;
    for (const QRect& w : windows) {
        p.fillRect(w, QColor(246, 246, 246));
        p.fillRect(QRect(w.left(), w.top(), w.width(), lineHeight + 8), QColor(52, 101, 164));
        p.setPen(Qt::white);
        p.drawText(w.left() + 8, w.top() + lineHeight, QStringLiteral("Document %1 - Editor").arg(++n));
        p.setPen(QColor(30, 30, 30));
        for (int y = w.top() + 2 * lineHeight + 8, row = 0; y < w.bottom() - 4; y += lineHeight, ++row)
            p.drawText(w.left() + 12, y,
                       QStringLiteral("%1  The quick brown fox jumps over the lazy dog; 0123456789 {}[]()").arg(row, 3));
        p.setPen(QColor(160, 160, 160));
        p.drawRect(w.adjusted(0, 0, -1, -1));
    }

    // A task bar with icons.
    const int bar = qMax(24, height / 27);
    p.fillRect(QRect(0, height - bar, width, bar), QColor(40, 40, 44));
    for (int x = 8, i = 0; x + bar < width / 2; x += bar + 6, ++i)
        p.fillRect(QRect(x, height - bar + 4, bar - 8, bar - 8), QColor::fromHsv((i * 47) % 360, 180, 220));
    p.setPen(Qt::white);
    p.drawText(width - 80, height - bar / 3, QStringLiteral("12:34"));
    p.end();
    return picture;
}
