#include "platform/hotkeymanager.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "common/hotkeycode.h"
#include "common/keytable.h"
#include "platform/xcbutil.h"

namespace {

using xcbutil::Reply;
using hotkey::kAlt;
using hotkey::kCtrl;
using hotkey::kShift;
using hotkey::kSuper;

constexpr xcb_keysym_t kNumLockSym = 0xff7f;
constexpr xcb_keysym_t kAltLSym = 0xffe9, kAltRSym = 0xffea, kMetaLSym = 0xffe7, kMetaRSym = 0xffe8;
constexpr xcb_keysym_t kSuperLSym = 0xffeb, kSuperRSym = 0xffec;

// XKB event subtypes (second byte of an XKB event): the server sends these to
// XKB-aware clients such as Qt's connection instead of a core MappingNotify.
constexpr uint8_t kXkbNewKeyboardNotify = 0;
constexpr uint8_t kXkbMapNotify = 1;

// Longer than any usual auto-repeat delay (660 ms by default, 250-600 ms on
// desktops) and far longer than the repeat interval.
constexpr xcb_timestamp_t kRepeatGapMs = 1500;

struct Grab {
    xcb_keycode_t keycode;
    uint16_t modifiers;
};

struct Registration {
    quint32 code = 0;
    quint16 id = 0;
    std::vector<xcb_keycode_t> keycodes;  // keys of the current map this code is on
    std::vector<Grab> grabs;              // what the server holds for us right now
    // Auto-repeat suppression: see THotKeyManager::Impl::onKey.
    bool down = false;
    xcb_timestamp_t lastPress = 0;
    xcb_timestamp_t lastRelease = 0;
};

}  // namespace

struct THotKeyManager::Impl : public QAbstractNativeEventFilter {
    explicit Impl(THotKeyManager* owner);
    ~Impl() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    bool connected() const { return c != nullptr && app != nullptr; }
    void readModifierMap();
    std::vector<xcb_keycode_t> keycodesFor(xcb_keysym_t keysym);
    uint16_t modifiersFor(quint32 code) const;
    std::vector<uint16_t> lockVariants() const;
    bool grab(Registration& r);
    void ungrab(Registration& r);
    bool conflicts(quint32 code, const std::vector<xcb_keycode_t>& keycodes) const;
    quint16 newIdentifier() const;
    bool onKey(const xcb_key_press_event_t* ev, bool press);
    void scheduleRegrab();
    void regrabAll();
    bool remove(quint16 id);

    THotKeyManager* q;
    QPointer<QGuiApplication> app;  // the connection dies with it
    xcb_connection_t* c = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_key_symbols_t* syms = nullptr;
    uint8_t xkbFirstEvent = 0;  // 0: no XKB on the server
    uint16_t numLockMask = 0;
    uint16_t altMask = XCB_MOD_MASK_1;
    uint16_t superMask = XCB_MOD_MASK_4;
    bool regrabPending = false;
    std::vector<Registration> regs;  // in registration order
};

THotKeyManager::Impl::Impl(THotKeyManager* owner) : q(owner)
{
    xcb_connection_t* connection = xcbutil::Connection();
    const xcb_screen_t* screen = xcbutil::DefaultScreen(connection);
    if (!screen)
        return;  // not on X11 (offscreen, Wayland): nothing can be registered
    app = qGuiApp;
    c = connection;
    root = screen->root;

    const char kXkb[] = "XKEYBOARD";
    const Reply<xcb_query_extension_reply_t> ext(
        xcb_query_extension_reply(c, xcb_query_extension(c, strlen(kXkb), kXkb), nullptr));
    if (ext && ext->present)
        xkbFirstEvent = ext->first_event;
    syms = xcb_key_symbols_alloc(c);
    readModifierMap();
    app->installNativeEventFilter(this);
}

THotKeyManager::Impl::~Impl()
{
    if (syms)
        xcb_key_symbols_free(syms);
    // The filter removes itself from the dispatcher (QAbstractNativeEventFilter).
}

void THotKeyManager::Impl::readModifierMap()
{
    numLockMask = 0;
    uint16_t alt = 0, super = 0;
    const Reply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (reply) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
        const int perModifier = reply->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod) {
            for (int k = 0; k < perModifier; ++k) {
                xcb_keycode_t kc = codes[mod * perModifier + k];
                if (kc == 0)
                    continue;
                for (int col = 0; col < 2; ++col) {
                    xcb_keysym_t sym = xcb_key_symbols_get_keysym(syms, kc, col);
                    const uint16_t mask = static_cast<uint16_t>(1u << mod);
                    if (sym == kNumLockSym)
                        numLockMask |= mask;
                    else if (sym == kAltLSym || sym == kAltRSym || sym == kMetaLSym || sym == kMetaRSym)
                        alt |= mask;
                    else if (sym == kSuperLSym || sym == kSuperRSym)
                        super |= mask;
                }
            }
        }
    }
    // Shift, Lock and Control are fixed by the protocol; the others live on Mod1..Mod5.
    constexpr uint16_t kModN = XCB_MOD_MASK_1 | XCB_MOD_MASK_2 | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;
    numLockMask &= kModN;
    alt &= kModN & ~numLockMask;
    super &= kModN & ~numLockMask & ~alt;
    // One bit each: a grab names exact modifier bits. The usual layout as fallback.
    altMask = alt ? static_cast<uint16_t>(alt & -alt) : static_cast<uint16_t>(XCB_MOD_MASK_1);
    superMask = super ? static_cast<uint16_t>(super & -super) : static_cast<uint16_t>(XCB_MOD_MASK_4);
    if (numLockMask)
        numLockMask = static_cast<uint16_t>(numLockMask & -numLockMask);
}

std::vector<xcb_keycode_t> THotKeyManager::Impl::keycodesFor(xcb_keysym_t keysym)
{
    std::vector<xcb_keycode_t> out;
    const xcb_setup_t* setup = xcb_get_setup(c);
    // The first group's two levels first; further columns (other layouts) only
    // when the key is nowhere in the first group.
    for (int pass = 0; pass < 2 && out.empty(); ++pass) {
        const int firstCol = pass == 0 ? 0 : 2;
        const int lastCol = pass == 0 ? 1 : 7;
        for (int kc = setup->min_keycode; kc <= setup->max_keycode; ++kc) {
            for (int col = firstCol; col <= lastCol; ++col) {
                if (xcb_key_symbols_get_keysym(syms, static_cast<xcb_keycode_t>(kc), col) == keysym) {
                    out.push_back(static_cast<xcb_keycode_t>(kc));
                    break;
                }
            }
        }
    }
    return out;
}

uint16_t THotKeyManager::Impl::modifiersFor(quint32 code) const
{
    uint16_t m = 0;
    if (code & kShift)
        m |= XCB_MOD_MASK_SHIFT;
    if (code & kCtrl)
        m |= XCB_MOD_MASK_CONTROL;
    if (code & kAlt)
        m |= altMask;
    if (code & kSuper)
        m |= superMask;
    return m;
}

std::vector<uint16_t> THotKeyManager::Impl::lockVariants() const
{
    // A grab matches the modifier state exactly, so every combination of the
    // lock keys the user may have on needs a grab of its own.
    std::vector<uint16_t> v{0, XCB_MOD_MASK_LOCK};
    if (numLockMask) {
        v.push_back(numLockMask);
        v.push_back(static_cast<uint16_t>(numLockMask | XCB_MOD_MASK_LOCK));
    }
    return v;
}

bool THotKeyManager::Impl::grab(Registration& r)
{
    r.keycodes = keycodesFor(keys::KeysymForVirtualKey(hotkey::KeyOf(r.code)));
    r.grabs.clear();
    r.down = false;
    if (r.keycodes.empty())
        return false;
    const uint16_t mods = modifiersFor(r.code);
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t kc : r.keycodes) {
        for (uint16_t lock : lockVariants()) {
            const uint16_t m = static_cast<uint16_t>(mods | lock);
            // owner_events false: the press goes to the root window even when
            // one of our own windows has the focus, so it is never typed there.
            cookies.push_back(
                xcb_grab_key_checked(c, 0, root, m, kc, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            r.grabs.push_back({kc, m});
        }
    }
    // The server refuses only the variants someone else holds; all of them
    // are checked so no reply is left behind, then it is all or nothing.
    bool ok = true;
    for (xcb_void_cookie_t cookie : cookies) {
        if (const Reply<xcb_generic_error_t> e{xcb_request_check(c, cookie)})
            ok = false;
    }
    if (!ok)
        ungrab(r);
    return ok;
}

void THotKeyManager::Impl::ungrab(Registration& r)
{
    // Releasing a variant another client holds is harmless: an ungrab only
    // ever touches this client's own grabs.
    for (const Grab& g : r.grabs)
        xcb_ungrab_key(c, g.keycode, root, g.modifiers);
    r.grabs.clear();
    r.down = false;
    xcb_flush(c);
}

bool THotKeyManager::Impl::conflicts(quint32 code, const std::vector<xcb_keycode_t>& keycodes) const
{
    // Two registrations on one (key, modifiers) would share the server's grab,
    // and removing one would silently disable the other.
    const uint16_t mods = modifiersFor(code);
    for (const Registration& r : regs) {
        if (r.code == code)
            return true;
        if (modifiersFor(r.code) != mods)
            continue;
        for (xcb_keycode_t kc : keycodes) {
            if (std::find(r.keycodes.begin(), r.keycodes.end(), kc) != r.keycodes.end())
                return true;
        }
    }
    return false;
}

quint16 THotKeyManager::Impl::newIdentifier() const
{
    // Identifiers are not reused while live; a fresh one after each change
    // keeps a stale identifier from naming the new registration.
    static quint16 next = 0;
    for (int tries = 0; tries < 0x10000; ++tries) {
        ++next;
        if (next == 0)
            continue;
        const quint16 id = next;
        if (std::none_of(regs.begin(), regs.end(), [id](const Registration& r) { return r.id == id; }))
            return id;
    }
    return 0;
}

bool THotKeyManager::Impl::onKey(const xcb_key_press_event_t* ev, bool press)
{
    bool ours = false;
    quint32 flags = 0;
    if (ev->state & XCB_MOD_MASK_SHIFT)
        flags |= kShift;
    if (ev->state & XCB_MOD_MASK_CONTROL)
        flags |= kCtrl;
    if (ev->state & altMask)
        flags |= kAlt;
    if (ev->state & superMask)
        flags |= kSuper;

    // Collect first: a slot may register or remove hotkeys while we iterate.
    std::vector<std::pair<quint32, quint16>> toEmit;
    for (Registration& r : regs) {
        if (std::find(r.keycodes.begin(), r.keycodes.end(), ev->detail) == r.keycodes.end())
            continue;
        ours = true;
        if (!press) {
            r.down = false;
            r.lastRelease = ev->time;
            continue;
        }
        const quint32 code = (r.code & 0xff) | flags;
        if (code != r.code)
            continue;
        // Holding the combination repeats the press: with detectable
        // auto-repeat (which Qt asks XKB for) as presses without releases,
        // otherwise as release/press pairs sharing one timestamp. Either way
        // only the first press of a hold is reported. Repeats follow each
        // other within the repeat interval; a press long after the previous
        // one is new even if its release went astray.
        const bool held = r.down && ev->time - r.lastPress < kRepeatGapMs;
        const bool repeat = held || (r.lastRelease != 0 && ev->time == r.lastRelease);
        r.down = true;
        r.lastPress = ev->time;
        if (!repeat)
            toEmit.emplace_back(r.code, r.id);
    }
    QPointer<THotKeyManager> guard(q);
    for (const auto& [code, id] : toEmit) {
        if (!guard)
            break;
        emit guard->OnHotKeyPressed(code, id);
    }
    return ours;
}

void THotKeyManager::Impl::scheduleRegrab()
{
    // One xmodmap run sends several notifications; grab once, after them.
    if (regrabPending)
        return;
    regrabPending = true;
    QMetaObject::invokeMethod(
        q,
        [this] {
            regrabPending = false;
            regrabAll();
        },
        Qt::QueuedConnection);
}

void THotKeyManager::Impl::regrabAll()
{
    if (!connected())
        return;
    for (Registration& r : regs)
        ungrab(r);
    xcb_key_symbols_free(syms);
    syms = xcb_key_symbols_alloc(c);
    readModifierMap();
    // A combination another client now holds on the new keys stays listed
    // without grabs (as a refused one would be) until the next map change.
    for (Registration& r : regs)
        grab(r);
}

bool THotKeyManager::Impl::remove(quint16 id)
{
    auto it = std::find_if(regs.begin(), regs.end(), [id](const Registration& r) { return r.id == id; });
    if (it == regs.end())
        return false;
    if (connected())
        ungrab(*it);
    regs.erase(it);
    return true;
}

bool THotKeyManager::Impl::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = ev->response_type & 0x7f;
    switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(ev);
        // Only real events from our grabs; a synthetic one from SendEvent is
        // someone else's business.
        if ((ev->response_type & 0x80) || key->event != root)
            return false;
        return onKey(key, type == XCB_KEY_PRESS);
    }
    case XCB_MAPPING_NOTIFY: {
        auto* m = reinterpret_cast<xcb_mapping_notify_event_t*>(ev);
        if (m->request != XCB_MAPPING_POINTER)
            scheduleRegrab();
        return false;  // Qt updates its own keymap from it too
    }
    default:
        if (xkbFirstEvent != 0 && type == xkbFirstEvent) {
            const uint8_t xkbType = reinterpret_cast<const uint8_t*>(ev)[1];
            if (xkbType == kXkbNewKeyboardNotify || xkbType == kXkbMapNotify)
                scheduleRegrab();
        }
        return false;
    }
}

// ---------------------------------------------------------------------------

THotKeyManager::THotKeyManager(QObject* parent) : QObject(parent), d(std::make_unique<Impl>(this)) {}

THotKeyManager::~THotKeyManager()
{
    ClearHotKeys();
}

quint16 THotKeyManager::AddHotKey(quint32 hotKey)
{
    if (!d->connected())
        return 0;
    const xcb_keysym_t keysym = keys::KeysymForVirtualKey(hotkey::KeyOf(hotKey));
    if (keysym == 0)
        return 0;
    Registration r;
    r.code = hotKey;
    if (d->conflicts(hotKey, d->keycodesFor(keysym)))
        return 0;
    if (!d->grab(r))
        return 0;
    r.id = d->newIdentifier();
    if (r.id == 0) {
        d->ungrab(r);
        return 0;
    }
    d->regs.push_back(std::move(r));
    return d->regs.back().id;
}

quint16 THotKeyManager::ChangeHotKey(quint16 index, quint32 newHotKey)
{
    if (!d->remove(index))
        return 0;
    return AddHotKey(newHotKey);
}

bool THotKeyManager::RemoveHotKey(quint16 index)
{
    return d->remove(index);
}

void THotKeyManager::ClearHotKeys()
{
    while (!d->regs.empty())
        d->remove(d->regs.back().id);
}
