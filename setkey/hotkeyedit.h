#pragma once
// The hotkey entry field: shows a key combination as text and takes the next
// combination typed into it. A key typed with no modifier, or with Shift
// alone, is not a usable hotkey, so Ctrl takes the place of the modifiers.

#include <QLineEdit>

class THotKey : public QLineEdit {
    Q_OBJECT
public:
    explicit THotKey(QWidget* parent = nullptr);

    // The code: virtual-key code in the low byte, 0x2000 Shift, 0x4000 Ctrl,
    // 0x8000 Alt.
    quint32 HotKey() const { return hotKey_; }
    // Keeps the key byte and the Shift, Ctrl and Alt bits only.
    void SetHotKey(quint32 hotKey);

signals:
    void HotKeyChanged(quint32 hotKey);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ShowModifiers(Qt::KeyboardModifiers modifiers);
    void ShowCurrent();

    quint32 hotKey_ = 0;
};
