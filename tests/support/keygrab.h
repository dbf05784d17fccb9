#pragma once
// Another X client holding a key combination: grabs it on the root window,
// in the lock variants asked for, until released or destroyed.

#include <cstdint>
#include <string>
#include <vector>

struct xcb_connection_t;

class KeyGrabber {
public:
    // The lock states a program has to grab for a combination to work
    // whatever Caps Lock and Num Lock (Mod2 here) are: none, Caps Lock,
    // Num Lock, both.
    static const std::vector<unsigned>& EveryLock();

    // keysym e.g. 0x71 (q); modifiers an X modifier mask (4 = Control), held
    // together with each of the lock masks in locks.
    KeyGrabber(const std::string& display, unsigned keysym, unsigned modifiers,
               const std::vector<unsigned>& locks = EveryLock());
    // The same on a connection of the caller's, which stays open: its own
    // key events then come through it.
    KeyGrabber(xcb_connection_t* connection, unsigned keysym, unsigned modifiers,
               const std::vector<unsigned>& locks = EveryLock());
    ~KeyGrabber();
    KeyGrabber(const KeyGrabber&) = delete;
    KeyGrabber& operator=(const KeyGrabber&) = delete;

    // Every grab asked for was granted.
    bool holding() const { return holding_; }
    // The key codes the keysym is on.
    const std::vector<uint8_t>& keycodes() const { return keycodes_; }
    // Lets go of the grabs once the server has confirmed it, and closes an
    // own connection.
    void release();

private:
    void grab(unsigned keysym, unsigned modifiers, const std::vector<unsigned>& locks);

    xcb_connection_t* c_ = nullptr;
    bool ownConnection_ = false;
    bool holding_ = false;
    std::vector<uint8_t> keycodes_;
    std::vector<uint16_t> masks_;  // asked for, on each key code
};
