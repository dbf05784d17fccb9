#include "setkey/hotkeyedit.h"

#include <QKeyEvent>

#include "common/hotkeycode.h"
#include "common/keytable.h"
#include "setkey/vkmap.h"

namespace {

quint32 ModifierBits(Qt::KeyboardModifiers m)
{
    quint32 bits = 0;
    if (m & Qt::ShiftModifier)
        bits |= hotkey::kShift;
    if (m & Qt::ControlModifier)
        bits |= hotkey::kCtrl;
    if (m & Qt::AltModifier)
        bits |= hotkey::kAlt;
    return bits;
}

bool IsModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        return true;
    default:
        return false;
    }
}

// Whether a modifier key's own event carries its modifier differs between
// platforms; take the key itself into account either way.
Qt::KeyboardModifiers WithKey(Qt::KeyboardModifiers m, int key, bool pressed)
{
    Qt::KeyboardModifier own = Qt::NoModifier;
    if (key == Qt::Key_Shift)
        own = Qt::ShiftModifier;
    else if (key == Qt::Key_Control)
        own = Qt::ControlModifier;
    else if (key == Qt::Key_Alt)
        own = Qt::AltModifier;
    return pressed ? (m | own) : (m & ~own);
}

}  // namespace

THotKey::THotKey(QWidget* parent) : QLineEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    // Read-only line edits hide the cursor; the field still shows it has focus.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    // No text yet: "无" would load the CJK font for a window that may never
    // be shown. SetHotKey or the first show puts the text in.
}

void THotKey::showEvent(QShowEvent* event)
{
    ShowCurrent();
    QLineEdit::showEvent(event);
}

void THotKey::SetHotKey(quint32 hotKey)
{
    hotKey_ = hotKey & hotkey::kFieldMask;
    ShowCurrent();
}

bool THotKey::event(QEvent* event)
{
    // While the field has the focus every combination is a candidate hotkey,
    // Alt+letter included: the window's accelerators must not take it. Tab
    // without modifiers still moves the focus on.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* ke = static_cast<QKeyEvent*>(event);
        const bool navigation = (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) &&
                                !(ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (!navigation) {
            ke->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if ((ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) &&
            (ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void THotKey::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (IsModifierKey(key)) {
        ShowModifiers(WithKey(event->modifiers(), key, true));
        return;
    }
    const auto code = keys::VirtualKeyForQtKey(key, event->modifiers() & Qt::KeypadModifier);
    if (!code) {
        ShowCurrent();
        return;
    }
    quint32 mods = ModifierBits(event->modifiers());
    if (mods == 0 || mods == hotkey::kShift)
        mods = hotkey::kCtrl;
    const quint32 previous = hotKey_;
    hotKey_ = *code | mods;
    ShowCurrent();
    if (hotKey_ != previous)
        emit HotKeyChanged(hotKey_);
}

void THotKey::keyReleaseEvent(QKeyEvent* event)
{
    // Once every modifier is up without a key, the field shows its value again.
    if (IsModifierKey(event->key()))
        ShowModifiers(WithKey(event->modifiers(), event->key(), false));
}

void THotKey::focusOutEvent(QFocusEvent* event)
{
    ShowCurrent();
    QLineEdit::focusOutEvent(event);
}

void THotKey::mousePressEvent(QMouseEvent* event)
{
    // Clicking only gives the focus; there is no text to select.
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void THotKey::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
}

void THotKey::ShowModifiers(Qt::KeyboardModifiers modifiers)
{
    const quint32 bits = ModifierBits(modifiers);
    if (bits == 0) {
        ShowCurrent();
        return;
    }
    setText(vk::HotKeyText(bits) + QStringLiteral(" + "));
    setCursorPosition(text().size());
}

void THotKey::ShowCurrent()
{
    setText(vk::HotKeyText(hotKey_));
    setCursorPosition(text().size());
}
