#pragma once
// The application object: catches what escapes an event handler and shows it
// in the error box, so one failed action never ends the program.

#include <QApplication>
#include <exception>

#include "common/programtitle.h"


class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The error box text: the message with a full stop appended unless it is
    // empty or its last character is a full stop or of lower code.
    static QString ErrorBoxText(const QString& message);
};
