#pragma once
// System-wide key combinations on X11: grabs on the root window, reported
// through OnHotKeyPressed. A hotkey code is a Windows virtual-key code in the
// low byte with 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt and 0x10000 Super.

#include <QObject>
#include <memory>

class THotKeyManager : public QObject {
    Q_OBJECT
public:
    explicit THotKeyManager(QObject* parent = nullptr);
    // Removes every registration, the most recent first.
    ~THotKeyManager() override;

    // Registers the combination; returns its non-zero identifier, or 0 when
    // the server refuses it (another client holds it), this manager already
    // holds it, or its key is not on the keyboard. Identifiers are unique
    // among live registrations and come back with every press. Holding the
    // combination down reports one press, not one per auto-repeat. Off X11
    // (offscreen, Wayland) every registration is refused.
    quint16 AddHotKey(quint32 hotKey);
    // Removes the registration `index` and registers `newHotKey`; 0 and nothing
    // registered when there is no registration `index` or the new one is refused.
    quint16 ChangeHotKey(quint16 index, quint32 newHotKey);
    bool RemoveHotKey(quint16 index);
    void ClearHotKeys();

signals:
    void OnHotKeyPressed(quint32 hotKey, quint16 index);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
