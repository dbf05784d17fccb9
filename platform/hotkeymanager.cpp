#include "platform/hotkeymanager.h"

// Placeholder until the xcb implementation lands: every registration is refused.
struct THotKeyManager::Impl {};

THotKeyManager::THotKeyManager(QObject* parent) : QObject(parent), d(std::make_unique<Impl>()) {}
THotKeyManager::~THotKeyManager() = default;
quint16 THotKeyManager::AddHotKey(quint32) { return 0; }
quint16 THotKeyManager::ChangeHotKey(quint16, quint32) { return 0; }
bool THotKeyManager::RemoveHotKey(quint16) { return false; }
void THotKeyManager::ClearHotKeys() {}
