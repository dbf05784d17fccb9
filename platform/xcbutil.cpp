#include "platform/xcbutil.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace xcbutil {

xcb_connection_t* Connection()
{
    if (!qGuiApp)
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_screen_t* DefaultScreen(xcb_connection_t* c)
{
    if (!c)
        return nullptr;
    int number = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &number))
        std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    xcb_screen_t* first = it.rem ? it.data : nullptr;
    for (; it.rem; --number, xcb_screen_next(&it))
        if (number == 0)
            return it.data;
    return first;
}

}  // namespace xcbutil
