#pragma once
// The few things every X11 part of the program needs: Qt's own connection to
// the server, the screen it runs on, and replies that free themselves.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace xcbutil {

// Qt's connection to the X server; nullptr when the program is not on X11
// (offscreen, Wayland) or has no application object yet.
xcb_connection_t* Connection();

// The screen the display name chooses (":1.0" gives 0), the one Qt connected
// to; the first screen when the name says nothing; nullptr without screens.
xcb_screen_t* DefaultScreen(xcb_connection_t* c);

struct FreeWithFree {
    void operator()(void* p) const { std::free(p); }
};

// A reply or error of xcb, freed when it goes out of scope:
//   const xcbutil::Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, cookie, nullptr));
template <typename T>
using Reply = std::unique_ptr<T, FreeWithFree>;

}  // namespace xcbutil
