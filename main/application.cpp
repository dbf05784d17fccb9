#include "main/application.h"

#include "platform/errors.h"
#include "platform/msgbox.h"

QString ProgramTitle()
{
    return QStringLiteral("Orvalt简体免费版V1.01.02");
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("zelbrik"));
    setApplicationDisplayName(ProgramTitle());
    // Hidden windows and closed dialogs must never end the program: only the
    // settings window's close does.
    setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(std::runtime_error("Unknown error"));
    }
    return false;
}

void TApplication::ShowException(const std::exception& e)
{
    const auto* own = dynamic_cast<const EError*>(&e);
    const QString message = own ? own->Message() : QString::fromUtf8(e.what());
    ShowErrorBox(ErrorBoxText(message));
}

QString TApplication::ErrorBoxText(const QString& message)
{
    if (message.isEmpty() || message.back() <= QLatin1Char('.'))
        return message;
    return message + QLatin1Char('.');
}
