#pragma once
// A flat picture button: glyph and caption side by side with no gap,
// centred, a frame only while the pointer is over it or it is pressed. It
// never takes the keyboard focus; its caption's mnemonic (Alt+letter) clicks it.

#include <QToolButton>

class TSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
