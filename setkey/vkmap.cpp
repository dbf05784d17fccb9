#include "setkey/vkmap.h"

#include <Qt>
#include <QStringList>

namespace vk {
namespace {

struct KeyEntry {
    int qtKey;
    quint8 vk;
};

// Keys outside the contiguous ranges handled in FromQtKey. Shifted
// punctuation maps to its key's code (US layout), as the key itself is what
// a hotkey names.
constexpr KeyEntry kKeys[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09},       {Qt::Key_Backtab, 0x09},   {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D},    {Qt::Key_Enter, 0x0D},     {Qt::Key_Pause, 0x13},     {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B},    {Qt::Key_Space, 0x20},     {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},       {Qt::Key_Home, 0x24},      {Qt::Key_Left, 0x25},      {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},     {Qt::Key_Down, 0x28},      {Qt::Key_Select, 0x29},    {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, 0x2E},    {Qt::Key_Help, 0x2F},      {Qt::Key_Menu, 0x5D},
    {Qt::Key_NumLock, 0x90},   {Qt::Key_ScrollLock, 0x91},
    // punctuation (OEM keys) and their shifted forms
    {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA},     {Qt::Key_Equal, 0xBB},     {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC},     {Qt::Key_Less, 0xBC},      {Qt::Key_Minus, 0xBD},     {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE},    {Qt::Key_Greater, 0xBE},   {Qt::Key_Slash, 0xBF},     {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC},       {Qt::Key_BracketRight, 0xDD}, {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
    // shifted digits
    {Qt::Key_Exclam, 0x31},    {Qt::Key_At, 0x32},        {Qt::Key_NumberSign, 0x33}, {Qt::Key_Dollar, 0x34},
    {Qt::Key_Percent, 0x35},   {Qt::Key_AsciiCircum, 0x36}, {Qt::Key_Ampersand, 0x37}, {Qt::Key_Asterisk, 0x38},
    {Qt::Key_ParenLeft, 0x39}, {Qt::Key_ParenRight, 0x30},
};

// The numeric keypad, told apart by Qt's keypad modifier.
constexpr KeyEntry kKeypad[] = {
    {Qt::Key_0, 0x60}, {Qt::Key_1, 0x61}, {Qt::Key_2, 0x62},        {Qt::Key_3, 0x63},     {Qt::Key_4, 0x64},
    {Qt::Key_5, 0x65}, {Qt::Key_6, 0x66}, {Qt::Key_7, 0x67},        {Qt::Key_8, 0x68},     {Qt::Key_9, 0x69},
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B}, {Qt::Key_Comma, 0x6C}, {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E}, {Qt::Key_Slash, 0x6F}, {Qt::Key_Enter, 0x0D},
};

}  // namespace

std::optional<quint8> FromQtKey(int qtKey, bool keypad)
{
    if (keypad) {
        for (const auto& e : kKeypad)
            if (e.qtKey == qtKey)
                return e.vk;
        // Keypad keys with Num Lock off arrive as navigation keys: fall through.
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<quint8>(0x41 + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<quint8>(0x30 + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<quint8>(0x70 + (qtKey - Qt::Key_F1));
    for (const auto& e : kKeys)
        if (e.qtKey == qtKey)
            return e.vk;
    return std::nullopt;
}

QString KeyName(quint8 v)
{
    if ((v >= 0x41 && v <= 0x5A) || (v >= 0x30 && v <= 0x39))
        return QString(QChar(v));
    if (v >= 0x70 && v <= 0x87)
        return QStringLiteral("F%1").arg(v - 0x70 + 1);
    if (v >= 0x60 && v <= 0x69)
        return QStringLiteral("Num %1").arg(v - 0x60);
    switch (v) {
    case 0x08: return QStringLiteral("Backspace");
    case 0x09: return QStringLiteral("Tab");
    case 0x0C: return QStringLiteral("Clear");
    case 0x0D: return QStringLiteral("Enter");
    case 0x13: return QStringLiteral("Pause");
    case 0x14: return QStringLiteral("Caps Lock");
    case 0x1B: return QStringLiteral("Esc");
    case 0x20: return QStringLiteral("Space");
    case 0x21: return QStringLiteral("Page Up");
    case 0x22: return QStringLiteral("Page Down");
    case 0x23: return QStringLiteral("End");
    case 0x24: return QStringLiteral("Home");
    case 0x25: return QStringLiteral("Left");
    case 0x26: return QStringLiteral("Up");
    case 0x27: return QStringLiteral("Right");
    case 0x28: return QStringLiteral("Down");
    case 0x29: return QStringLiteral("Select");
    case 0x2C: return QStringLiteral("Print Screen");
    case 0x2D: return QStringLiteral("Insert");
    case 0x2E: return QStringLiteral("Delete");
    case 0x2F: return QStringLiteral("Help");
    case 0x5D: return QStringLiteral("Menu");
    case 0x6A: return QStringLiteral("Num *");
    case 0x6B: return QStringLiteral("Num +");
    case 0x6C: return QStringLiteral("Num ,");
    case 0x6D: return QStringLiteral("Num -");
    case 0x6E: return QStringLiteral("Num Del");
    case 0x6F: return QStringLiteral("Num /");
    case 0x90: return QStringLiteral("Num Lock");
    case 0x91: return QStringLiteral("Scroll Lock");
    case 0xBA: return QStringLiteral(";");
    case 0xBB: return QStringLiteral("=");
    case 0xBC: return QStringLiteral(",");
    case 0xBD: return QStringLiteral("-");
    case 0xBE: return QStringLiteral(".");
    case 0xBF: return QStringLiteral("/");
    case 0xC0: return QStringLiteral("`");
    case 0xDB: return QStringLiteral("[");
    case 0xDC: return QStringLiteral("\\");
    case 0xDD: return QStringLiteral("]");
    case 0xDE: return QStringLiteral("'");
    default: return QStringLiteral("0x%1").arg(QString::number(v, 16).toUpper(), 2, QLatin1Char('0'));
    }
}

QString HotKeyText(quint32 hotKey)
{
    const quint8 key = hotKey & 0xff;
    QStringList parts;
    if (hotKey & kCtrl)
        parts << QStringLiteral("Ctrl");
    if (hotKey & kShift)
        parts << QStringLiteral("Shift");
    if (hotKey & kAlt)
        parts << QStringLiteral("Alt");
    if (key == 0 && parts.isEmpty())
        return QStringLiteral("无");
    if (key != 0)
        parts << KeyName(key);
    return parts.join(QStringLiteral(" + "));
}

}  // namespace vk
