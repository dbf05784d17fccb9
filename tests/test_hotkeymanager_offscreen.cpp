// Without an X server (Qt's offscreen platform) the hotkey manager cannot
// grab anything: every registration is refused, and nothing crashes.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "platform/hotkeymanager.h"
#include "support/testenv.h"

TEST(HotKeyManagerOffscreen, RefusesEveryRegistration)
{
    auto* manager = new THotKeyManager;
    QSignalSpy pressed(manager, &THotKeyManager::OnHotKeyPressed);
    for (quint32 code : {0x4051u, 0x6074u, 0x10020u}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(manager->AddHotKey(code), 0);
    }
    EXPECT_EQ(manager->ChangeHotKey(0, 0x4051), 0);
    EXPECT_EQ(manager->ChangeHotKey(1, 0x4051), 0);
    EXPECT_FALSE(manager->RemoveHotKey(1));
    manager->ClearHotKeys();
    delete manager;
    EXPECT_EQ(pressed.count(), 0);
}
