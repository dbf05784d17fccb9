#pragma once
// The program's icon in the notification area (XEmbed tray or
// StatusNotifier, whatever Qt finds), with its tooltip and menu.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenu;
class QSystemTrayIcon;

class TCoolTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TCoolTrayIcon(QObject* parent = nullptr);
    ~TCoolTrayIcon() override;

    void SetIcon(const QIcon& icon);
    void SetHint(const QString& hint);  // at most 127 characters are shown
    QString Hint() const;
    // Opened by a right click, its right edge at the pointer.
    void SetPopupMenu(QMenu* menu);
    QMenu* PopupMenu() const { return menu_; }
    void Show();  // adds the icon; it stays until the object is destroyed

    // Whether the desktop has a notification area at all.
    static bool IsAvailable();

    static constexpr int kMaxHintLength = 127;

signals:
    // Left button pressed and released on the icon (raised at the release).
    // The second press of a double click does not count as a press.
    void OnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(int reason);
    void PopupAtPointer();

    QSystemTrayIcon* icon_ = nullptr;
    QMenu* menu_ = nullptr;
    QPointer<QObject> pressed_;  // the icon window a left press went to
};
