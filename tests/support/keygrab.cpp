#include "keygrab.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

KeyGrabber::KeyGrabber(const std::string& display, unsigned keysym, unsigned modifiers)
{
    c_ = xcb_connect(display.c_str(), nullptr);
    if (!c_ || xcb_connection_has_error(c_))
        return;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c_);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(syms, keysym);
    holding_ = codes && codes[0] != XCB_NO_SYMBOL;
    // Lock variants: none, Caps Lock, Num Lock (Mod2 here), both.
    const unsigned locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    for (xcb_keycode_t* k = codes; holding_ && k && *k != XCB_NO_SYMBOL; ++k) {
        for (unsigned lock : locks) {
            auto cookie = xcb_grab_key_checked(c_, 1, root, modifiers | lock, *k, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* e = xcb_request_check(c_, cookie)) {
                holding_ = false;
                free(e);
            }
        }
    }
    free(codes);
    xcb_key_symbols_free(syms);
    xcb_flush(c_);
}

KeyGrabber::~KeyGrabber()
{
    if (!c_)
        return;
    // Let go explicitly and wait for the server to confirm: a bare disconnect
    // is noticed by the server only some time later, and a test that goes on
    // at once would still find the keys taken.
    if (!xcb_connection_has_error(c_)) {
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        xcb_generic_error_t* e =
            xcb_request_check(c_, xcb_ungrab_key_checked(c_, XCB_GRAB_ANY, root, XCB_MOD_MASK_ANY));
        free(e);
    }
    xcb_disconnect(c_);
}
