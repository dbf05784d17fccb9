#include "platform/vkeys.h"

#include <array>

namespace xkeys {
namespace {

struct Entry {
    quint8 vk;
    quint32 keysym;
};

// Everything that is not a letter, a digit or a function key. The values are
// the X11 keysyms of <X11/keysymdef.h> and <X11/XF86keysym.h>.
constexpr Entry kKeys[] = {
    {0x08, 0xff08},  // Back -> BackSpace
    {0x09, 0xff09},  // Tab
    {0x0C, 0xff0b},  // Clear
    {0x0D, 0xff0d},  // Return
    {0x13, 0xff13},  // Pause
    {0x14, 0xffe5},  // Capital -> Caps_Lock
    {0x1B, 0xff1b},  // Escape
    {0x20, 0x0020},  // space
    {0x21, 0xff55},  // Prior (Page Up)
    {0x22, 0xff56},  // Next (Page Down)
    {0x23, 0xff57},  // End
    {0x24, 0xff50},  // Home
    {0x25, 0xff51},  // Left
    {0x26, 0xff52},  // Up
    {0x27, 0xff53},  // Right
    {0x28, 0xff54},  // Down
    {0x29, 0xff60},  // Select
    {0x2A, 0xff61},  // Print (the old VK_PRINT)
    {0x2B, 0xff62},  // Execute
    {0x2C, 0xff61},  // Snapshot -> Print
    {0x2D, 0xff63},  // Insert
    {0x2E, 0xffff},  // Delete
    {0x2F, 0xff6a},  // Help
    {0x5D, 0xff67},  // Apps -> Menu
    {0x5F, 0x1008ff2f},  // Sleep -> XF86Sleep
    {0x60, 0xffb0},  // Numpad0 .. Numpad9 -> KP_0 .. KP_9
    {0x61, 0xffb1},
    {0x62, 0xffb2},
    {0x63, 0xffb3},
    {0x64, 0xffb4},
    {0x65, 0xffb5},
    {0x66, 0xffb6},
    {0x67, 0xffb7},
    {0x68, 0xffb8},
    {0x69, 0xffb9},
    {0x6A, 0xffaa},  // Multiply -> KP_Multiply
    {0x6B, 0xffab},  // Add -> KP_Add
    {0x6C, 0xffac},  // Separator -> KP_Separator
    {0x6D, 0xffad},  // Subtract -> KP_Subtract
    {0x6E, 0xffae},  // Decimal -> KP_Decimal
    {0x6F, 0xffaf},  // Divide -> KP_Divide
    {0x90, 0xff7f},  // NumLock -> Num_Lock
    {0x91, 0xff14},  // Scroll -> Scroll_Lock
    {0xA6, 0x1008ff26},  // Browser Back -> XF86Back
    {0xA7, 0x1008ff27},  // Browser Forward -> XF86Forward
    {0xA8, 0x1008ff29},  // Browser Refresh -> XF86Refresh
    {0xA9, 0x1008ff28},  // Browser Stop -> XF86Stop
    {0xAA, 0x1008ff1b},  // Browser Search -> XF86Search
    {0xAB, 0x1008ff30},  // Browser Favorites -> XF86Favorites
    {0xAC, 0x1008ff18},  // Browser Home -> XF86HomePage
    {0xAD, 0x1008ff12},  // Volume Mute -> XF86AudioMute
    {0xAE, 0x1008ff11},  // Volume Down -> XF86AudioLowerVolume
    {0xAF, 0x1008ff13},  // Volume Up -> XF86AudioRaiseVolume
    {0xB0, 0x1008ff17},  // Media Next Track -> XF86AudioNext
    {0xB1, 0x1008ff16},  // Media Prev Track -> XF86AudioPrev
    {0xB2, 0x1008ff15},  // Media Stop -> XF86AudioStop
    {0xB3, 0x1008ff14},  // Media Play/Pause -> XF86AudioPlay
    {0xB4, 0x1008ff19},  // Launch Mail -> XF86Mail
    {0xBA, 0x003b},  // OEM_1 -> semicolon
    {0xBB, 0x003d},  // OEM_PLUS -> equal
    {0xBC, 0x002c},  // OEM_COMMA -> comma
    {0xBD, 0x002d},  // OEM_MINUS -> minus
    {0xBE, 0x002e},  // OEM_PERIOD -> period
    {0xBF, 0x002f},  // OEM_2 -> slash
    {0xC0, 0x0060},  // OEM_3 -> grave
    {0xDB, 0x005b},  // OEM_4 -> bracketleft
    {0xDC, 0x005c},  // OEM_5 -> backslash
    {0xDD, 0x005d},  // OEM_6 -> bracketright
    {0xDE, 0x0027},  // OEM_7 -> apostrophe
    {0xE2, 0x003c},  // OEM_102 -> less (the extra key of ISO keyboards)
};

constexpr std::array<quint32, 256> BuildTable()
{
    std::array<quint32, 256> t{};
    for (int vk = 'A'; vk <= 'Z'; ++vk)
        t[vk] = static_cast<quint32>(vk - 'A' + 'a');
    for (int vk = '0'; vk <= '9'; ++vk)
        t[vk] = static_cast<quint32>(vk);
    for (int i = 0; i < 24; ++i)  // F1 .. F24
        t[0x70 + i] = 0xffbe + static_cast<quint32>(i);
    for (const Entry& e : kKeys)
        t[e.vk] = e.keysym;
    return t;
}

constexpr std::array<quint32, 256> kTable = BuildTable();

}  // namespace

quint32 KeysymForVirtualKey(quint8 virtualKey)
{
    return kTable[virtualKey];
}

}  // namespace xkeys
