#pragma once
// How the hotkey field writes a hotkey code.

#include <QString>

namespace vk {

// "Ctrl + Q", "Ctrl + Shift + F5"; "无" for no key at all.
QString HotKeyText(quint32 hotKey);

}  // namespace vk
