#include "keygrab.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace {

xcb_window_t Root(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

}  // namespace

const std::vector<unsigned>& KeyGrabber::EveryLock()
{
    static const std::vector<unsigned> locks = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    return locks;
}

KeyGrabber::KeyGrabber(const std::string& display, unsigned keysym, unsigned modifiers,
                       const std::vector<unsigned>& locks)
    : c_(xcb_connect(display.c_str(), nullptr)), ownConnection_(true)
{
    grab(keysym, modifiers, locks);
}

KeyGrabber::KeyGrabber(xcb_connection_t* connection, unsigned keysym, unsigned modifiers,
                       const std::vector<unsigned>& locks)
    : c_(connection)
{
    grab(keysym, modifiers, locks);
}

KeyGrabber::~KeyGrabber()
{
    release();
}

void KeyGrabber::grab(unsigned keysym, unsigned modifiers, const std::vector<unsigned>& locks)
{
    if (!c_ || xcb_connection_has_error(c_))
        return;
    xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c_);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms, keysym);
    for (xcb_keycode_t* k = codes; k && *k != XCB_NO_SYMBOL; ++k)
        keycodes_.push_back(*k);
    free(codes);
    xcb_key_symbols_free(syms);

    for (unsigned lock : locks)
        masks_.push_back(static_cast<uint16_t>(modifiers | lock));
    holding_ = !keycodes_.empty();
    for (xcb_keycode_t code : keycodes_) {
        for (uint16_t mask : masks_) {
            auto cookie =
                xcb_grab_key_checked(c_, 1, Root(c_), mask, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* e = xcb_request_check(c_, cookie)) {
                holding_ = false;
                free(e);
            }
        }
    }
}

void KeyGrabber::release()
{
    if (!c_)
        return;
    // Let go explicitly and wait for the server to confirm: a bare disconnect
    // is noticed by the server only some time later, and a test that goes on
    // at once would still find the keys taken. Only the combinations asked
    // for here (an ungrab of one another client holds does nothing to it):
    // a connection of the caller's may hold others.
    if (!xcb_connection_has_error(c_)) {
        for (xcb_keycode_t code : keycodes_)
            for (uint16_t mask : masks_)
                free(xcb_request_check(c_, xcb_ungrab_key_checked(c_, code, Root(c_), mask)));
    }
    if (ownConnection_)
        xcb_disconnect(c_);
    c_ = nullptr;
    holding_ = false;
}
