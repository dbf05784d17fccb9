#include "setkey/setkey.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include "main/application.h"

// Placeholder until the settings window lands.
TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent), Edit1(new QLineEdit(QStringLiteral("50"), this))
{
    setWindowTitle(ProgramTitle());
    show();
}

TForm2::~TForm2() = default;

void TForm2::closeEvent(QCloseEvent* event)
{
    event->accept();
    QCoreApplication::quit();
}
