#pragma once
// Every key a hotkey can name, in one table: its Windows virtual-key code
// (what the settings file stores), the X keysym it is grabbed as, the Qt key
// the hotkey field sees and the name the field shows. Keysyms are plain
// numbers from <X11/keysymdef.h> and <X11/XF86keysym.h>, so no X header is
// needed to use it.

#include <QString>
#include <optional>
#include <span>

namespace keys {

struct KeyRow {
    quint8 virtualKey;
    quint32 keysym;   // 0: none
    int qtKey;        // 0: no Qt key gives it
    bool keypad;      // the Qt key with Qt's keypad modifier
    char name[16];    // empty: shown as its code, "0xE8"
};

// The first row of a virtual key gives its keysym and name; later rows of
// the same virtual key are further Qt keys that give it (Enter for Return,
// shifted punctuation for its key).
std::span<const KeyRow> Table();

// The keysym a virtual key stands for, or 0 when it has none. Letters give the
// lower-case keysym, the one in the first column of a keyboard map.
quint32 KeysymForVirtualKey(quint8 virtualKey);

// The virtual key of a Qt key (keypad keys when `keypad` is set), or nothing
// for a key that has none (a lone modifier, an unknown key).
std::optional<quint8> VirtualKeyForQtKey(int qtKey, bool keypad);

// The key's name as the hotkey field shows it ("Q", "F5", "Num 3"), or
// "0xE8" for a code without a name.
QString KeyName(quint8 virtualKey);

}  // namespace keys
