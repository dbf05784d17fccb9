#include "common/keytable.h"

#include <Qt>
#include <array>

namespace keys {
namespace {

constexpr KeyRow kNamed[] = {
    {0x08, 0xff08, Qt::Key_Backspace, false, "Backspace"},
    {0x09, 0xff09, Qt::Key_Tab, false, "Tab"},
    {0x09, 0xff09, Qt::Key_Backtab, false, "Tab"},
    {0x0C, 0xff0b, Qt::Key_Clear, false, "Clear"},
    {0x0D, 0xff0d, Qt::Key_Return, false, "Enter"},
    {0x0D, 0xff0d, Qt::Key_Enter, false, "Enter"},
    {0x0D, 0xff0d, Qt::Key_Enter, true, "Enter"},
    {0x13, 0xff13, Qt::Key_Pause, false, "Pause"},
    {0x14, 0xffe5, Qt::Key_CapsLock, false, "Caps Lock"},
    {0x1B, 0xff1b, Qt::Key_Escape, false, "Esc"},
    {0x20, 0x0020, Qt::Key_Space, false, "Space"},
    {0x21, 0xff55, Qt::Key_PageUp, false, "Page Up"},
    {0x22, 0xff56, Qt::Key_PageDown, false, "Page Down"},
    {0x23, 0xff57, Qt::Key_End, false, "End"},
    {0x24, 0xff50, Qt::Key_Home, false, "Home"},
    {0x25, 0xff51, Qt::Key_Left, false, "Left"},
    {0x26, 0xff52, Qt::Key_Up, false, "Up"},
    {0x27, 0xff53, Qt::Key_Right, false, "Right"},
    {0x28, 0xff54, Qt::Key_Down, false, "Down"},
    {0x29, 0xff60, Qt::Key_Select, false, "Select"},
    {0x2A, 0xff61, 0, false, ""},  // the old VK_PRINT
    {0x2B, 0xff62, 0, false, ""},  // Execute
    {0x2C, 0xff61, Qt::Key_Print, false, "Print Screen"},
    {0x2D, 0xff63, Qt::Key_Insert, false, "Insert"},
    {0x2E, 0xffff, Qt::Key_Delete, false, "Delete"},
    {0x2F, 0xff6a, Qt::Key_Help, false, "Help"},
    {0x5D, 0xff67, Qt::Key_Menu, false, "Menu"},
    {0x5F, 0x1008ff2f, 0, false, ""},  // Sleep
    {0x6A, 0xffaa, Qt::Key_Asterisk, true, "Num *"},
    {0x6B, 0xffab, Qt::Key_Plus, true, "Num +"},
    {0x6C, 0xffac, Qt::Key_Comma, true, "Num ,"},
    {0x6D, 0xffad, Qt::Key_Minus, true, "Num -"},
    {0x6E, 0xffae, Qt::Key_Period, true, "Num Del"},
    {0x6F, 0xffaf, Qt::Key_Slash, true, "Num /"},
    {0x90, 0xff7f, Qt::Key_NumLock, false, "Num Lock"},
    {0x91, 0xff14, Qt::Key_ScrollLock, false, "Scroll Lock"},
    // Browser and media keys: grabbed, but the field has no Qt key for them.
    {0xA6, 0x1008ff26, 0, false, ""},
    {0xA7, 0x1008ff27, 0, false, ""},
    {0xA8, 0x1008ff29, 0, false, ""},
    {0xA9, 0x1008ff28, 0, false, ""},
    {0xAA, 0x1008ff1b, 0, false, ""},
    {0xAB, 0x1008ff30, 0, false, ""},
    {0xAC, 0x1008ff18, 0, false, ""},
    {0xAD, 0x1008ff12, 0, false, ""},
    {0xAE, 0x1008ff11, 0, false, ""},
    {0xAF, 0x1008ff13, 0, false, ""},
    {0xB0, 0x1008ff17, 0, false, ""},
    {0xB1, 0x1008ff16, 0, false, ""},
    {0xB2, 0x1008ff15, 0, false, ""},
    {0xB3, 0x1008ff14, 0, false, ""},
    {0xB4, 0x1008ff19, 0, false, ""},
    // Punctuation (US layout) and its shifted forms: the key is what a hotkey names.
    {0xBA, 0x003b, Qt::Key_Semicolon, false, ";"},
    {0xBA, 0x003b, Qt::Key_Colon, false, ";"},
    {0xBB, 0x003d, Qt::Key_Equal, false, "="},
    {0xBB, 0x003d, Qt::Key_Plus, false, "="},
    {0xBC, 0x002c, Qt::Key_Comma, false, ","},
    {0xBC, 0x002c, Qt::Key_Less, false, ","},
    {0xBD, 0x002d, Qt::Key_Minus, false, "-"},
    {0xBD, 0x002d, Qt::Key_Underscore, false, "-"},
    {0xBE, 0x002e, Qt::Key_Period, false, "."},
    {0xBE, 0x002e, Qt::Key_Greater, false, "."},
    {0xBF, 0x002f, Qt::Key_Slash, false, "/"},
    {0xBF, 0x002f, Qt::Key_Question, false, "/"},
    {0xC0, 0x0060, Qt::Key_QuoteLeft, false, "`"},
    {0xC0, 0x0060, Qt::Key_AsciiTilde, false, "`"},
    {0xDB, 0x005b, Qt::Key_BracketLeft, false, "["},
    {0xDB, 0x005b, Qt::Key_BraceLeft, false, "["},
    {0xDC, 0x005c, Qt::Key_Backslash, false, "\\"},
    {0xDC, 0x005c, Qt::Key_Bar, false, "\\"},
    {0xDD, 0x005d, Qt::Key_BracketRight, false, "]"},
    {0xDD, 0x005d, Qt::Key_BraceRight, false, "]"},
    {0xDE, 0x0027, Qt::Key_Apostrophe, false, "'"},
    {0xDE, 0x0027, Qt::Key_QuoteDbl, false, "'"},
    {0xE2, 0x003c, 0, false, ""},  // the extra key of ISO keyboards
    // Shifted digits.
    {0x31, 0x0031, Qt::Key_Exclam, false, "1"},
    {0x32, 0x0032, Qt::Key_At, false, "2"},
    {0x33, 0x0033, Qt::Key_NumberSign, false, "3"},
    {0x34, 0x0034, Qt::Key_Dollar, false, "4"},
    {0x35, 0x0035, Qt::Key_Percent, false, "5"},
    {0x36, 0x0036, Qt::Key_AsciiCircum, false, "6"},
    {0x37, 0x0037, Qt::Key_Ampersand, false, "7"},
    {0x38, 0x0038, Qt::Key_Asterisk, false, "8"},
    {0x39, 0x0039, Qt::Key_ParenLeft, false, "9"},
    {0x30, 0x0030, Qt::Key_ParenRight, false, "0"},
};

constexpr KeyRow Row(quint8 vk, quint32 keysym, int qtKey, bool keypad, char c0, char c1 = 0, char c2 = 0,
                     char c3 = 0, char c4 = 0)
{
    return KeyRow{vk, keysym, qtKey, keypad, {c0, c1, c2, c3, c4}};
}

constexpr size_t kRunRows = 26 + 10 + 24 + 10;
constexpr size_t kRows = kRunRows + std::size(kNamed);

// Letters, digits, F1..F24 and the keypad digits come first, so that their
// own rows precede the rows of the shifted digits.
constexpr std::array<KeyRow, kRows> BuildTable()
{
    std::array<KeyRow, kRows> t{};
    size_t n = 0;
    for (int i = 0; i < 26; ++i)
        t[n++] = Row(quint8(0x41 + i), quint32('a' + i), Qt::Key_A + i, false, char('A' + i));
    for (int i = 0; i < 10; ++i)
        t[n++] = Row(quint8(0x30 + i), quint32('0' + i), Qt::Key_0 + i, false, char('0' + i));
    for (int i = 0; i < 24; ++i) {
        const int f = i + 1;
        t[n++] = f < 10 ? Row(quint8(0x70 + i), 0xffbe + quint32(i), Qt::Key_F1 + i, false, 'F', char('0' + f))
                        : Row(quint8(0x70 + i), 0xffbe + quint32(i), Qt::Key_F1 + i, false, 'F',
                              char('0' + f / 10), char('0' + f % 10));
    }
    for (int i = 0; i < 10; ++i)
        t[n++] = Row(quint8(0x60 + i), 0xffb0 + quint32(i), Qt::Key_0 + i, true, 'N', 'u', 'm', ' ', char('0' + i));
    for (const KeyRow& r : kNamed)
        t[n++] = r;
    return t;
}

constexpr std::array<KeyRow, kRows> kTable = BuildTable();

// The first row of each virtual key, or -1.
constexpr std::array<int, 256> BuildFirstRows()
{
    std::array<int, 256> first{};
    for (int& f : first)
        f = -1;
    for (size_t i = 0; i < kTable.size(); ++i)
        if (first[kTable[i].virtualKey] < 0)
            first[kTable[i].virtualKey] = int(i);
    return first;
}

constexpr std::array<int, 256> kFirstRow = BuildFirstRows();

}  // namespace

std::span<const KeyRow> Table()
{
    return kTable;
}

quint32 KeysymForVirtualKey(quint8 virtualKey)
{
    const int row = kFirstRow[virtualKey];
    return row < 0 ? 0 : kTable[size_t(row)].keysym;
}

std::optional<quint8> VirtualKeyForQtKey(int qtKey, bool keypad)
{
    if (qtKey == 0)
        return std::nullopt;
    if (keypad) {
        for (const KeyRow& r : kTable)
            if (r.keypad && r.qtKey == qtKey)
                return r.virtualKey;
        // Keypad keys with Num Lock off arrive as navigation keys: fall through.
    }
    for (const KeyRow& r : kTable)
        if (!r.keypad && r.qtKey == qtKey)
            return r.virtualKey;
    return std::nullopt;
}

QString KeyName(quint8 virtualKey)
{
    const int row = kFirstRow[virtualKey];
    if (row >= 0 && kTable[size_t(row)].name[0] != 0)
        return QString::fromLatin1(kTable[size_t(row)].name);
    return QStringLiteral("0x%1").arg(QString::number(virtualKey, 16).toUpper(), 2, QLatin1Char('0'));
}

}  // namespace keys
