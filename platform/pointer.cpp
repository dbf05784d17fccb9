#include "platform/pointer.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>

std::optional<QPoint> PointerInWindow(WId window)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || !window)
        return std::nullopt;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(c, xcb_query_pointer(c, xcb_window_t(window)), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QPoint> position;
    if (reply->same_screen)
        position = QPoint(reply->win_x, reply->win_y);
    free(reply);
    return position;
}
