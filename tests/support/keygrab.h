#pragma once
// Another X client holding a key combination: grabs it on the root window,
// for each lock variant, until destroyed.

#include <string>

struct xcb_connection_t;

class KeyGrabber {
public:
    // keysym e.g. 0x71 (q); modifiers an X modifier mask (4 = Control).
    KeyGrabber(const std::string& display, unsigned keysym, unsigned modifiers);
    ~KeyGrabber();
    bool holding() const { return holding_; }

private:
    xcb_connection_t* c_ = nullptr;
    bool holding_ = false;
};
