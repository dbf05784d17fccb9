#include "platform/pointer.h"

#include "platform/xcbutil.h"

std::optional<QPoint> PointerInWindow(WId window)
{
    xcb_connection_t* c = xcbutil::Connection();
    if (!c || !window)
        return std::nullopt;
    const xcbutil::Reply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, xcb_window_t(window)), nullptr));
    if (!reply || !reply->same_screen)
        return std::nullopt;
    return QPoint(reply->win_x, reply->win_y);
}
