#pragma once
// The program's two message boxes: modal, application-owned, one OK button.

#include <QString>

// Caption "信息框", information icon.
void ShowInformationBox(const QString& text);
// Caption: the application title; error icon.
void ShowErrorBox(const QString& text);

// The caption of the information box.
QString InformationCaption();
