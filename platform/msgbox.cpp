#include "platform/msgbox.h"

#include <QGuiApplication>
#include <QMessageBox>

QString InformationCaption()
{
    return QStringLiteral("信息框");
}

void ShowInformationBox(const QString& text)
{
    QMessageBox box(QMessageBox::Information, InformationCaption(), text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void ShowErrorBox(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
