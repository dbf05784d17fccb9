#pragma once
// Windows virtual-key codes, which the settings file stores, against Qt's keys.

#include <QString>
#include <optional>

namespace vk {

inline constexpr quint32 kShift = 0x2000;
inline constexpr quint32 kCtrl = 0x4000;
inline constexpr quint32 kAlt = 0x8000;
// What the hotkey field keeps of a code: the key byte and Shift, Ctrl, Alt.
inline constexpr quint32 kFieldMask = 0x00ff | kShift | kCtrl | kAlt;

// The virtual-key code of a Qt key (keypad keys when `keypad` is set), or
// nothing for a key that has none (a lone modifier, an unknown key).
std::optional<quint8> FromQtKey(int qtKey, bool keypad);

// The key's name as the hotkey field shows it ("Q", "F5", "Num 3"), or
// "0xE8" for a code without a name.
QString KeyName(quint8 virtualKey);

// "Ctrl + Q", "Ctrl + Shift + F5"; "无" for no key at all.
QString HotKeyText(quint32 hotKey);

}  // namespace vk
