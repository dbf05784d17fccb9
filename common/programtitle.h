#pragma once
// The program's title: the application title, the settings window's caption,
// the tray icon's tooltip and the error box's caption.

#include <QString>

inline QString ProgramTitle()
{
    return QStringLiteral("Orvalt简体免费版V1.01.02");
}
