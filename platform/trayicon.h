#pragma once
// The program's icon in the notification area (XEmbed tray or
// StatusNotifier, whatever Qt finds), with its tooltip and menu.

#include <QIcon>
#include <QObject>
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
    void SetPopupMenu(QMenu* menu);
    void Show();  // adds the icon; it stays until the object is destroyed

    // Whether the desktop has a notification area at all.
    static bool IsAvailable();

signals:
    // Left button pressed and released on the icon.
    void OnClick();

private:
    QSystemTrayIcon* icon_ = nullptr;
    QMenu* menu_ = nullptr;
};
