#include "platform/trayicon.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

// On an XEmbed tray Qt draws the icon in a small window of its own
// (QSystemTrayIconSys) and reports a left press as activated(Trigger), the
// second press of a double click as activated(DoubleClick) only, and no
// release at all. The click is raised at the release, so the release is
// taken from that window's events; the press is matched to this icon through
// the Trigger it causes, which Qt emits while the press is being delivered.
// On a StatusNotifier host there is no such window and Trigger is the click.

namespace {

// The icon window whose left press is being delivered right now.
QPointer<QObject> g_pressTarget;

bool IsTrayIconWindow(QObject* o)
{
    return o->isWidgetType() && o->inherits("QSystemTrayIconSys");
}

}  // namespace

TCoolTrayIcon::TCoolTrayIcon(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this))
{
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) { Activated(r); });
    if (qApp)
        qApp->installEventFilter(this);
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    // The icon (and with it its tray window) goes first, so nothing of it is
    // left in the notification area once the object is gone.
    delete icon_;
    icon_ = nullptr;
}

void TCoolTrayIcon::SetIcon(const QIcon& icon)
{
    icon_->setIcon(icon);
}

void TCoolTrayIcon::SetHint(const QString& hint)
{
    QString text = hint.left(kMaxHintLength);
    // Never keep half of a surrogate pair.
    if (text.size() == kMaxHintLength && hint.size() > kMaxHintLength && text.back().isHighSurrogate())
        text.chop(1);
    icon_->setToolTip(text);
}

QString TCoolTrayIcon::Hint() const
{
    return icon_->toolTip();
}

void TCoolTrayIcon::SetPopupMenu(QMenu* menu)
{
    // Not handed to QSystemTrayIcon: Qt would open it with its left edge at
    // the pointer; the menu is opened here instead (see PopupAtPointer).
    menu_ = menu;
}

void TCoolTrayIcon::Show()
{
    icon_->show();
}

bool TCoolTrayIcon::IsAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TCoolTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !IsTrayIconWindow(watched))
        return false;
    if (type == QEvent::MouseButtonPress) {
        g_pressTarget = watched;  // claimed in Activated() by the icon it belongs to
    } else if (pressed_ == watched) {
        pressed_ = nullptr;
        // Like a button: letting go outside the icon cancels the click.
        if (static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint()))
            emit OnClick();
    }
    return false;
}

void TCoolTrayIcon::Activated(int reason)
{
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::Trigger:
        if (g_pressTarget) {
            pressed_ = g_pressTarget;
            g_pressTarget = nullptr;
        } else {
            emit OnClick();  // no icon window: the host reports whole clicks
        }
        break;
    case QSystemTrayIcon::Context:
        PopupAtPointer();
        break;
    case QSystemTrayIcon::DoubleClick:  // not bound: only the single click counts
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TCoolTrayIcon::PopupAtPointer()
{
    if (!menu_ || menu_->isVisible())
        return;
    // Right edge at the pointer, below it or, when there is no room below
    // (the tray is usually at the bottom of the screen), above it. QMenu only
    // flips a menu opened exactly at the pointer, so the flip is done here.
    // The popup takes the pointer: a click anywhere else closes it.
    const QPoint at = QCursor::pos();
    menu_->ensurePolished();
    const QSize size = menu_->sizeHint();
    QPoint topLeft(at.x() - size.width(), at.y());
    if (const QScreen* screen = QGuiApplication::screenAt(at)) {
        const QRect area = screen->geometry();
        if (topLeft.y() + size.height() > area.bottom() + 1 && at.y() - size.height() >= area.top())
            topLeft.setY(at.y() - size.height());
        topLeft.setX(qMax(topLeft.x(), area.left()));
    }
    menu_->popup(topLeft);
}
