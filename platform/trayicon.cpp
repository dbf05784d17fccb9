#include "platform/trayicon.h"

#include <QMenu>
#include <QSystemTrayIcon>

// Placeholder until the tray implementation lands.
TCoolTrayIcon::TCoolTrayIcon(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this)) {}
TCoolTrayIcon::~TCoolTrayIcon() = default;
void TCoolTrayIcon::SetIcon(const QIcon& icon) { icon_->setIcon(icon); }
void TCoolTrayIcon::SetHint(const QString& hint) { icon_->setToolTip(hint.left(127)); }
void TCoolTrayIcon::SetPopupMenu(QMenu* menu) { menu_ = menu; icon_->setContextMenu(menu); }
void TCoolTrayIcon::Show() { icon_->show(); }
bool TCoolTrayIcon::IsAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }
