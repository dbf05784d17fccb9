// The hotkey entry field as a user types into it, and the virtual-key table
// behind it.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "setkey/hotkeyedit.h"
#include "common/keytable.h"
#include "setkey/vkmap.h"

namespace {

struct TypedCase {
    const char* what;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    quint32 code;
    const char* text;
};

class HotKeyField : public ::testing::Test {
protected:
    void SetUp() override
    {
        field.show();
        field.setFocus();
        field.SetHotKey(0x4051);
    }
    THotKey field;
};

}  // namespace

TEST_F(HotKeyField, TypedCombinations)
{
    const TypedCase cases[] = {
        {"ctrl+q", Qt::Key_Q, Qt::ControlModifier, 0x4051, "Ctrl + Q"},
        {"no modifier becomes ctrl", Qt::Key_A, Qt::NoModifier, 0x4041, "Ctrl + A"},
        {"shift alone becomes ctrl", Qt::Key_A, Qt::ShiftModifier, 0x4041, "Ctrl + A"},
        {"ctrl+shift+f5", Qt::Key_F5, Qt::ControlModifier | Qt::ShiftModifier, 0x6074, "Ctrl + Shift + F5"},
        {"alt+1", Qt::Key_1, Qt::AltModifier, 0x8031, "Alt + 1"},
        {"shift+alt keeps both", Qt::Key_Z, Qt::ShiftModifier | Qt::AltModifier, 0xA05A, "Shift + Alt + Z"},
        {"keypad 5", Qt::Key_5, Qt::ControlModifier | Qt::KeypadModifier, 0x4065, "Ctrl + Num 5"},
        {"keypad minus", Qt::Key_Minus, Qt::AltModifier | Qt::KeypadModifier, 0x806D, "Alt + Num -"},
        {"semicolon", Qt::Key_Semicolon, Qt::ControlModifier, 0x40BA, "Ctrl + ;"},
        {"shifted colon is the semicolon key", Qt::Key_Colon, Qt::ControlModifier | Qt::ShiftModifier, 0x60BA,
         "Ctrl + Shift + ;"},
        {"shifted digit is the digit key", Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, 0x6031,
         "Ctrl + Shift + 1"},
        {"f24", Qt::Key_F24, Qt::ControlModifier, 0x4087, "Ctrl + F24"},
        {"page down", Qt::Key_PageDown, Qt::ControlModifier | Qt::AltModifier, 0xC022, "Ctrl + Alt + Page Down"},
        {"meta is not a modifier the field keeps", Qt::Key_B, Qt::MetaModifier, 0x4042, "Ctrl + B"},
    };
    for (const auto& c : cases) {
        field.SetHotKey(0x4051);
        QTest::keyClick(&field, c.key, c.modifiers);
        EXPECT_EQ(field.HotKey(), c.code) << c.what;
        EXPECT_EQ(field.text().toStdString(), c.text) << c.what;
    }
}

TEST_F(HotKeyField, ModifiersAloneShowPendingAndChangeNothing)
{
    QSignalSpy changed(&field, &THotKey::HotKeyChanged);
    QTest::keyPress(&field, Qt::Key_Control, Qt::ControlModifier);
    QTest::keyPress(&field, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(field.text().toStdString(), "Ctrl + Shift + ");
    QTest::keyRelease(&field, Qt::Key_Shift, Qt::ControlModifier);
    QTest::keyRelease(&field, Qt::Key_Control, Qt::NoModifier);
    EXPECT_EQ(field.text().toStdString(), "Ctrl + Q");
    EXPECT_EQ(field.HotKey(), 0x4051u);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(HotKeyField, KeysWithoutCodeLeaveTheValue)
{
    QTest::keyClick(&field, Qt::Key_VolumeUp, Qt::ControlModifier);
    EXPECT_EQ(field.HotKey(), 0x4051u);
    EXPECT_EQ(field.text().toStdString(), "Ctrl + Q");
}

TEST_F(HotKeyField, SetKeepsKeyByteAndShiftCtrlAltOnly)
{
    const struct {
        quint32 in, kept;
        const char* text;
    } cases[] = {
        {0x4051, 0x4051, "Ctrl + Q"},
        {0x14051, 0x4051, "Ctrl + Q"},      // the Windows-key bit is dropped
        {0x40E8, 0x40E8, "Ctrl + 0xE8"},    // a code without a name survives
        {0x7FFF0070, 0x0070, "F1"},          // stray high bits
        {0, 0, "无"},
    };
    for (const auto& c : cases) {
        field.SetHotKey(c.in);
        EXPECT_EQ(field.HotKey(), c.kept) << std::hex << c.in;
        EXPECT_EQ(field.text().toStdString(), c.text) << std::hex << c.in;
    }
}

TEST(VirtualKeys, EveryNamedCodeMapsBackFromItsQtKey)
{
    // Round trip over the ranges the table promises: letters, digits, F keys.
    for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k)
        EXPECT_EQ(keys::VirtualKeyForQtKey(k, false), 0x41 + (k - Qt::Key_A));
    for (int k = Qt::Key_0; k <= Qt::Key_9; ++k) {
        EXPECT_EQ(keys::VirtualKeyForQtKey(k, false), 0x30 + (k - Qt::Key_0));
        EXPECT_EQ(keys::VirtualKeyForQtKey(k, true), 0x60 + (k - Qt::Key_0));
    }
    for (int k = Qt::Key_F1; k <= Qt::Key_F24; ++k)
        EXPECT_EQ(keys::KeyName(*keys::VirtualKeyForQtKey(k, false)), QStringLiteral("F%1").arg(k - Qt::Key_F1 + 1));
    // Keypad keys with Num Lock off arrive as navigation keys.
    EXPECT_EQ(keys::VirtualKeyForQtKey(Qt::Key_Home, true), 0x24);
    EXPECT_FALSE(keys::VirtualKeyForQtKey(Qt::Key_Shift, false).has_value());
}
