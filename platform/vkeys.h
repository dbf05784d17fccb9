#pragma once
// Windows virtual-key codes (the key byte of a hotkey code) against X keysyms.
// Kept apart from the grabbing so it needs neither a server nor xcb headers.

#include <QtGlobal>

namespace xkeys {

// The keysym a virtual key stands for, or 0 when it has none. Letters give the
// lower-case keysym, the one in the first column of a keyboard map.
quint32 KeysymForVirtualKey(quint8 virtualKey);

}  // namespace xkeys
