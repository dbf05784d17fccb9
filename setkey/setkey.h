#pragma once
// The settings window: usage text, quality, capture hotkey and start-hidden
// settings, the Save, Capture and Exit buttons, and the tray presence.

#include <QLineEdit>
#include <QWidget>

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    QLineEdit* Edit1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
};

extern TForm2* Form2;
