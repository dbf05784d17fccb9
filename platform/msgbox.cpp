#include "platform/msgbox.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "common/errors.h"

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

QString ErrorBoxText(const QString& message)
{
    if (message.isEmpty() || message.back() <= QLatin1Char('.'))
        return message;
    return message + QLatin1Char('.');
}

void ShowExceptionBox(const std::exception& e)
{
    const auto* own = dynamic_cast<const EError*>(&e);
    const QString message = own ? own->Message() : QString::fromUtf8(e.what());
    ShowErrorBox(ErrorBoxText(message));
}
