#include "main/application.h"

#include "common/errors.h"
#include "platform/msgbox.h"

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
        ShowExceptionBox(e);
    } catch (...) {
        ShowExceptionBox(std::runtime_error("Unknown error"));
    }
    return false;
}

QString TApplication::ErrorBoxText(const QString& message)
{
    return ::ErrorBoxText(message);
}
