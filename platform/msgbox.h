#pragma once
// The program's two message boxes: modal, application-owned, one OK button.

#include <QString>
#include <exception>

// Caption "信息框", information icon.
void ShowInformationBox(const QString& text);
// Caption: the application title; error icon.
void ShowErrorBox(const QString& text);

// The caption of the information box.
QString InformationCaption();

// The error box text: the message with a full stop appended unless it is
// empty or its last character is a full stop or of lower code.
QString ErrorBoxText(const QString& message);
// The error box for an exception that escaped a handler.
void ShowExceptionBox(const std::exception& e);
