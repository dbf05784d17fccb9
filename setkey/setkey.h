#pragma once
// The settings window: usage text, quality, capture hotkey and start-hidden
// settings, the Save, Capture and Exit buttons, the download link, the
// capture hotkey and the tray presence.

#include <QMenu>
#include <QWidget>
#include <memory>

#include "platform/hotkeymanager.h"
#include "platform/trayicon.h"
#include "setkey/hotkeyedit.h"
#include "setkey/speedbutton.h"
#include "settings/profile.h"

#include "ui_form2.h"

// The controls are the form's own (Memo1, Label1, Label2, Label3, Label5,
// HotKey2, Edit1, CheckBox1, SpeedButton1 Save, SpeedButton2 Exit,
// SpeedButton3 Capture), laid out by form2.ui.
class TForm2 : public QWidget, public Ui::TForm2 {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Non-visual components.
    THotKeyManager* HotKeyManager1 = nullptr;
    TCoolTrayIcon* CoolTrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* O1 = nullptr;
    QAction* Exit1 = nullptr;

    // The identifier of the capture hotkey's registration; 0 when none is in force.
    quint16 HotKeyIndex = 0;

    // The settings file, opened by the load procedure.
    std::unique_ptr<TIniFile> Settings;

    // Handlers.
    void FormCreate();
    void SpeedButton1Click();  // Save
    void SpeedButton2Click();  // Exit
    void SpeedButton3Click();  // Capture
    void Label5Click();
    void Label5MouseMove();
    void Label5MouseLeave();
    void HotKeyManager1HotKeyPressed(quint32 hotKey, quint16 index);
    void CoolTrayIcon1Click();
    void O1Click();
    void Exit1Click();

    // Tests the quality text; on failure shows the message, puts the focus
    // into Edit1 and returns false.
    bool CheckQuality();

    // Shows the window in front of the others.
    void ShowInFront();

    static QString DownloadAddress();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyLook();
};

extern TForm2* Form2;
