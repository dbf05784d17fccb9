// The one key table: each lookup gives back what the table says, from either
// side, so the hotkey field, the settings file and the grab agree on a key.

#include <gtest/gtest.h>

#include <Qt>
#include <map>
#include <set>
#include <utility>

#include "common/hotkeycode.h"
#include "common/keytable.h"

TEST(KeyTable, EveryRowReadsBackBothWays)
{
    std::map<quint8, const keys::KeyRow*> first;
    std::set<std::pair<int, bool>> qtKeys;
    for (const keys::KeyRow& row : keys::Table()) {
        SCOPED_TRACE(testing::Message() << "virtual key 0x" << std::hex << int(row.virtualKey));
        first.emplace(row.virtualKey, &row);
        const keys::KeyRow& own = *first.at(row.virtualKey);
        // A later row of a virtual key adds a Qt key, never a second keysym or name.
        EXPECT_EQ(row.keysym, own.keysym);
        EXPECT_STREQ(row.name, own.name);
        if (row.qtKey != 0) {
            EXPECT_TRUE(qtKeys.insert({row.qtKey, row.keypad}).second) << "a Qt key in two rows";
            EXPECT_EQ(keys::VirtualKeyForQtKey(row.qtKey, row.keypad), row.virtualKey);
        }
    }
    for (int vk = 0; vk < 256; ++vk) {
        SCOPED_TRACE(testing::Message() << "virtual key 0x" << std::hex << vk);
        const auto it = first.find(quint8(vk));
        EXPECT_EQ(keys::KeysymForVirtualKey(quint8(vk)), it == first.end() ? 0u : it->second->keysym);
        const QString name = keys::KeyName(quint8(vk));
        if (it != first.end() && it->second->name[0])
            EXPECT_EQ(name.toStdString(), it->second->name);
        else
            EXPECT_EQ(name, "0x" + QString::number(vk, 16).toUpper().rightJustified(2, u'0'));
    }
}

// A few rows that name a key the way other programs do, checked against the
// X11 keysyms and Windows key codes as published, not against the table.
TEST(KeyTable, KnownKeys)
{
    const struct {
        int qtKey;
        bool keypad;
        quint8 vk;
        quint32 keysym;
        const char* name;
    } cases[] = {
        {Qt::Key_Q, false, 0x51, 0x71, "Q"},          {Qt::Key_5, true, 0x65, 0xffb5, "Num 5"},
        {Qt::Key_F12, false, 0x7B, 0xffc9, "F12"},    {Qt::Key_F24, false, 0x87, 0xffd5, "F24"},
        {Qt::Key_Print, false, 0x2C, 0xff61, "Print Screen"}, {Qt::Key_Delete, false, 0x2E, 0xffff, "Delete"},
        {Qt::Key_Question, false, 0xBF, 0x2f, "/"},   {Qt::Key_Enter, true, 0x0D, 0xff0d, "Enter"},
        {Qt::Key_Home, true, 0x24, 0xff50, "Home"},   {Qt::Key_Menu, false, 0x5D, 0xff67, "Menu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(keys::VirtualKeyForQtKey(c.qtKey, c.keypad), c.vk);
        EXPECT_EQ(keys::KeysymForVirtualKey(c.vk), c.keysym);
        EXPECT_EQ(keys::KeyName(c.vk).toStdString(), c.name);
    }
    EXPECT_EQ(keys::VirtualKeyForQtKey(Qt::Key_Shift, false), std::nullopt);
    EXPECT_EQ(keys::KeysymForVirtualKey(0xE8), 0u);
    EXPECT_EQ(keys::KeyName(0xE8).toStdString(), "0xE8");
    EXPECT_EQ(hotkey::kDefault, 16465u);
}
