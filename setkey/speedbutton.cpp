#include "setkey/speedbutton.h"

#include <QPainter>
#include <QStyleOptionToolButton>
#include <QStylePainter>

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
}

QSize TSpeedButton::sizeHint() const
{
    const QFontMetrics fm(font());
    const QString shown = QString(text()).remove(QLatin1Char('&'));
    return {iconSize().width() + fm.horizontalAdvance(shown) + 6, qMax(iconSize().height(), fm.height()) + 6};
}

void TSpeedButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    // The frame of a flat button: only while hovered or pressed.
    if (opt.state & (QStyle::State_MouseOver | QStyle::State_Sunken)) {
        p.drawPrimitive(QStyle::PE_PanelButtonTool, opt);
    }

    const QPixmap glyph = icon().pixmap(iconSize(), isEnabled() ? QIcon::Normal : QIcon::Disabled);
    const QFontMetrics fm(font());
    const QString shown = QString(text()).remove(QLatin1Char('&'));
    const int textWidth = fm.horizontalAdvance(shown);
    const int glyphWidth = glyph.isNull() ? 0 : iconSize().width();
    const int shift = isDown() ? 1 : 0;
    int x = (width() - glyphWidth - textWidth) / 2 + shift;
    if (!glyph.isNull())
        p.drawPixmap(x, (height() - iconSize().height()) / 2 + shift, glyph);
    x += glyphWidth;
    const QRect textRect(x, shift, textWidth + 2, height());
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
}
