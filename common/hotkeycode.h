#pragma once
// A hotkey code names a key combination: the Windows virtual-key code of the
// key in the low byte, and a bit for each modifier. The settings file stores
// it as decimal text, the settings window makes it, the hotkey manager grabs it.

#include <QtGlobal>

namespace hotkey {

inline constexpr quint32 kKeyMask = 0x00ff;
inline constexpr quint32 kShift = 0x2000;
inline constexpr quint32 kCtrl = 0x4000;
inline constexpr quint32 kAlt = 0x8000;
// Understood by the hotkey manager; the settings window never makes it.
inline constexpr quint32 kSuper = 0x10000;
// What the hotkey field keeps of a code: the key and Shift, Ctrl, Alt.
inline constexpr quint32 kFieldMask = kKeyMask | kShift | kCtrl | kAlt;

// Ctrl+Q, 16465.
inline constexpr quint32 kDefault = kCtrl | 0x51;

constexpr quint8 KeyOf(quint32 code)
{
    return static_cast<quint8>(code & kKeyMask);
}

}  // namespace hotkey
